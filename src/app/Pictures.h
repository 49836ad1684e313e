// The pictures the windows carry, decoded from the bytes held in the program.
#pragma once

#include <vector>

#include "ui/Graphics.h"

TPicture NotchPicture();       // Image1: 29 x 29, the sidebar's notch
TPicture DatabasePicture();    // Image2: 48 x 48, transparent
TPicture ProgressAnimation();  // _progress: 35 x 35, 75 frames of 70 ms
// ImageList1, in state order: running, done, failed, skipped; 16 x 20 each.
std::vector<TBitmap32> StateImages();
