#include "holmic/holmic.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    const int exit_code = plat::take_standard_options(argc, argv, "holmic", plat::HelpAs::no_arguments);
    return exit_code >= 0 ? exit_code : holmic::holmic_main(argc, argv);
}
