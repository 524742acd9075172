#include <gtest/gtest.h>

#include "base/text.h"

using namespace base::text;

TEST(Text, CountsGraphemeClusters) {
    EXPECT_EQ(graphemeCount(QString()), 0);
    EXPECT_EQ(graphemeCount(QStringLiteral("a\r\nb")), 3);
}
