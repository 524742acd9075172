// The program's entry: the application with the parts every area contributes.
#include "app/main-window/orvel_app.h"

namespace {

// Each area connects its windows and services to the application here.
velquin::ApplicationParts applicationParts() {
    velquin::ApplicationParts parts;
    return parts;
}

}  // namespace

int main(int argc, char** argv) { return velquin::OrvelApp::main(argc, argv, applicationParts()); }
