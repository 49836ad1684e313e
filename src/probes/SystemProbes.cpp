#include "probes/SystemProbes.h"

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> tokens;
  std::string current;
  bool inToken = false;
  bool quoted = false;
  for (const char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inToken = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inToken) tokens.push_back(current);
      current.clear();
      inToken = false;
    } else {
      current += c;
      inToken = true;
    }
  }
  if (inToken) tokens.push_back(current);
  return tokens;
}
