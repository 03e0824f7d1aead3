#include "tolven/tolven.h"

int main(int argc, char** argv) { return tolven::tolven_main(argc, argv); }
