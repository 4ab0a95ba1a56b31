#include "register/pure/BatchText.h"
#include <gtest/gtest.h>
#include <utility>

TEST(ExactConversion, UnderUtf8NoBestFitFlagNorDefaultCharQuestion)
{
    for (unsigned codePage : {932u, 1252u})
        EXPECT_EQ(std::pair(ExactConversion(codePage).flags, ExactConversion(codePage).askDefaultCharUsed),
                  std::pair(0x400ul, true)); // WC_NO_BEST_FIT_CHARS
    EXPECT_EQ(std::pair(ExactConversion(65001).flags, ExactConversion(65001).askDefaultCharUsed),
              std::pair(0x80ul, false)); // WC_ERR_INVALID_CHARS
}
