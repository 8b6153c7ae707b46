#include <gtest/gtest.h>

#include "drv/device/KRObj.h"

TEST(ErrorTable, ListsEveryCodeInOrderAndEndsWithTheMark) {
  const KRErrorRecord* t = KRObj::ErrorTable;
  EXPECT_EQ(t[0].code, 0);
  EXPECT_STREQ(t[0].text, "OK");
  EXPECT_EQ(t[12].code, -3101);
  EXPECT_STREQ(t[12].text, "Multiple feed");
  EXPECT_EQ(t[24].code, 172);
  EXPECT_STREQ(t[24].text, "Read data time out");
  EXPECT_EQ(t[25].code, 172);
  EXPECT_STREQ(t[25].text, "Send data time out");
  EXPECT_EQ(t[29].code, -60001);
  EXPECT_STREQ(t[29].text, "EOP+Blank peper");
  EXPECT_EQ(t[30].code, 65535);
  EXPECT_STREQ(t[30].text, "");
  EXPECT_STREQ(KRObj::ErrorText(-2023), "System error");
  EXPECT_STREQ(KRObj::ErrorText(-2999), "unknow error");
  EXPECT_STREQ(KRObj::ErrorText(-3001), "");
}
