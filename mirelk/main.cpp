#include "mirelk/mirelk.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    const int exit_code = plat::take_standard_options(argc, argv, "mirelk", plat::HelpAs::no_arguments);
    return exit_code >= 0 ? exit_code : mirelk::mirelk_main(argc, argv);
}
