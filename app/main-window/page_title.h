#pragma once

class QLabel;
class QWidget;

namespace velquin {

// The large title of a page, plain text on one line.
QLabel* makePageTitle(QWidget* parent);

}  // namespace velquin
