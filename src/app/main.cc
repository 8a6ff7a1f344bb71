#include "app/run_driver.h"

int main(int argc, char** argv) { return quarn::app::runQuarn(argc, argv); }
