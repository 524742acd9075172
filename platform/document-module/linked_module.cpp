// Linked into tests and benchmarks: nothing there names the module's entry, and a library nothing
// names is left out of the program by the linker.
#include "platform/document_libraries.h"

[[gnu::used]] static const auto keepDocumentModule = &orvel_document_libraries_v1;
