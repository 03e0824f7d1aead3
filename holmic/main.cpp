#include "holmic/holmic.h"

int main(int argc, char** argv) { return holmic::holmic_main(argc, argv); }
