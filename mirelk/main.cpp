#include "mirelk/mirelk.h"

int main(int argc, char** argv) { return mirelk::mirelk_main(argc, argv); }
