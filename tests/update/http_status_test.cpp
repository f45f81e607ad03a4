// HTTP status texts: the codes with a text, and every code around them.
#include <gtest/gtest.h>

#include <string>

#include "update/HttpStatus.h"

namespace {

const std::string kUnknown = "Unknown Error!";

TEST(HttpStatusText, KnownCodesAtTheEdgesOfEachClass) {
  EXPECT_STREQ(HttpStatusText(100), "Info: Continue");
  EXPECT_STREQ(HttpStatusText(102), "Info: Processing");
  EXPECT_STREQ(HttpStatusText(200), "Successful: OK");
  EXPECT_STREQ(HttpStatusText(226), "Successful: IM Used");
  EXPECT_STREQ(HttpStatusText(306), "Redirection: (Unused)");
  EXPECT_STREQ(HttpStatusText(308), "Redirection: Permanent Redirect");
  EXPECT_STREQ(HttpStatusText(404), "Client Error: Not Found");
  EXPECT_STREQ(HttpStatusText(500), "Server Error: Internal Server Error");
  EXPECT_STREQ(HttpStatusText(511), "Server Error: Network Authentication Required");
}

TEST(HttpStatusText, TextsKeepTheirOwnSpelling) {
  EXPECT_STREQ(HttpStatusText(418), "Client Error: I''m a teapot");
  EXPECT_STREQ(HttpStatusText(499), "Client Error: Client Closed Reques");
  EXPECT_STREQ(HttpStatusText(449),
               "Client Error: The request should be retried after doing the appropriate action");
}

TEST(HttpStatusText, CodesWithoutATextAreUnknown) {
  for (LONG code : {0, -1, 1, 99, 103, 209, 225, 299, 309, 419, 427, 430, 450, 498, 512, 600, 1000})
    EXPECT_EQ(HttpStatusText(code), kUnknown) << code;
  EXPECT_EQ(HttpStatusText(0x7fffffff), kUnknown);
  EXPECT_EQ(HttpStatusText(-0x7fffffff - 1), kUnknown);
}

TEST(HttpStatusText, SixtySevenCodesHaveTexts) {
  int known = 0;
  for (LONG code = -100; code < 2000; ++code) {
    std::string text = HttpStatusText(code);
    if (text == kUnknown) continue;
    ++known;
    EXPECT_TRUE(code >= 100 && code <= 511) << code;
    // Each class of codes carries its own prefix.
    const char *prefix = code < 200 ? "Info: " : code < 300 ? "Successful: " : code < 400 ? "Redirection: "
                                                 : code < 500 ? "Client Error: " : "Server Error: ";
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << code << " " << text;
  }
  EXPECT_EQ(known, 67);
}

} // namespace
