#include "driver/driver.h"

int main(int argc, char** argv) { return kilnfont_main(argc, argv); }
