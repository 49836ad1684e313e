// tcp-probe HOST PORT: the installer's reachability probe from the command line.
// Prints whether TTcpClient.Connect succeeded and every code OnError received;
// exit status 0 when connected, 1 when not (2 for wrong use).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "probes/Sockets.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tcp-probe HOST PORT\n");
    return 2;
  }
  try {
    std::vector<int> errors;
    TTcpClient client;
    client.OnError = [&errors](TObject*, int code) { errors.push_back(code); };
    client.SetRemoteHost(argv[1]);
    client.SetRemotePort(argv[2]);
    const bool connected = client.Connect();
    if (connected) client.Disconnect();
    std::printf("%s:%s %s\n", argv[1], argv[2], connected ? "connected" : "not connected");
    for (const int code : errors) std::printf("OnError %d\n", code);
    return connected ? 0 : 1;
  } catch (const std::exception& e) {
    std::printf("%s:%s not connected: %s\n", argv[1], argv[2], e.what());
    return 1;
  }
}
