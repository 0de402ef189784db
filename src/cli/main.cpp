// tidewell: the terminal host. See 'tidewell --help'.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/commands.h"

int main(int argc, char** argv) {
  // Dates are shown and read in the user's locale, as the desktop shows them.
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tidewell::cli::Run(args, std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
