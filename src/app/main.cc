#include "app/run_driver.h"
#include "platform/interruption.h"

int main(int argc, char** argv) {
  // Before any thread exists, so every thread leaves the signals to the one
  // that cleans up.
  quarn::platform::installInterruptHandling();
  return quarn::app::runQuarn(argc, argv);
}
