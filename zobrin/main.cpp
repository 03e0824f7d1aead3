#include "zobrin/zobrin.h"

int main(int argc, char** argv) { return zobrin::zobrin_main(argc, argv); }
