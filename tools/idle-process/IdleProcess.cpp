// A process that only waits: run under another name (fb_inet_server.exe) it
// stands for a database server that is already running. Ends after the given
// number of seconds (60 by default), so it never outlives a test.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  std::this_thread::sleep_for(std::chrono::seconds(seconds > 0 && seconds <= 3600 ? seconds : 60));
  return 0;
}
