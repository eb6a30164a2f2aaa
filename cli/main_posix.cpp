#include "cli/cli.h"

int main(int argc, char** argv) {
  return qm::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
