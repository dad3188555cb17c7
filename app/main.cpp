#include "app/startup.h"
#include "runtime/base/base_runtime.h"

int main(int argc, char **argv) {
    EnsureStandardDescriptors();
    return StartUp(argc, argv);
}
