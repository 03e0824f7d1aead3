#include "platform/process.h"
#include "zobrin/zobrin.h"

int main(int argc, char** argv) {
    const int exit_code = plat::take_standard_options(argc, argv, "zobrin", plat::HelpAs::no_arguments);
    return exit_code >= 0 ? exit_code : zobrin::zobrin_main(argc, argv);
}
