// vantrel-completion: prints vantrel-cli's bash completion, made from its table of options.
#include <iostream>

#include "cli/CliOptionTable.h"

int main() {
    std::cout << vantrel::cli::BashCompletion();
    return std::cout ? 0 : 1;
}
