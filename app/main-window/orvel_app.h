#pragma once

#include <QString>

#include "app/main-window/application_parts.h"

namespace velquin {

class AppStore;
class SelectionController;

// The program: its application object, interface settings, delegate, central store and the one
// main window with its menus and sheets, and its handler of "orvel-formac:" URLs.
class OrvelApp {
public:
    OrvelApp() = delete;

    // The process entry: runs the launch sequence and then the event loop; the exit status.
    static int main(int argc, char** argv, const ApplicationParts& parts);

    // Acts on a URL of the application's scheme ("reader": the screen-capture guide; "direct":
    // the select-anywhere settings); every other URL is ignored without a word.
    static void handleURL(const QString& url, AppStore& store, SelectionController& selection);
};

}  // namespace velquin
