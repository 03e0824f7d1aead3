#include "nevrik/nevrik.h"

int main(int argc, char** argv) { return nevrik::nevrik_main(argc, argv); }
