#pragma once

#include <gtest/gtest.h>

#include <QWidget>

// Finding a view's controls the way the tests of the account views look at them.
namespace viewtest {

// The child with this object name; a test failure when there is none.
template <typename T>
T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Whether a widget would be on screen with its window (hidden ancestors included).
inline bool shown(QWidget* widget) { return widget && widget->isVisibleTo(widget->window()); }

}  // namespace viewtest
