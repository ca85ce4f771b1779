#include "numeric_value.h"

#include <QString>
#include <cmath>
#include <gtest/gtest.h>

namespace {

struct ValueCase
{
    const char16_t* text;
    double value;
};

class NumericValue : public testing::TestWithParam<ValueCase>
{
};

TEST_P(NumericValue, ReadsTheLeadingNumber)
{
    const auto [text, expected] = GetParam();
    const std::optional<double> value = numericValue(QStringView(text));
    ASSERT_TRUE(value.has_value()) << QString::fromUtf16(text).toStdString();
    EXPECT_DOUBLE_EQ(*value, expected) << QString::fromUtf16(text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumericValue,
    testing::Values(
        // The forms a thermometer sends.
        ValueCase{u"23.4", 23.4}, ValueCase{u"-5.2", -5.2}, ValueCase{u"+021.0", 21},
        ValueCase{u"0", 0}, ValueCase{u"-0.0", 0},
        // Blanks, tabs and line feeds are skipped wherever they stand, carriage returns not.
        ValueCase{u" - 5.2", -5.2}, ValueCase{u"\t1\n2 .5", 12.5}, ValueCase{u"\n23.5", 23.5},
        ValueCase{u"\r5", 0}, ValueCase{u"23\r.5", 23},
        // Reading stops where the number cannot go on.
        ValueCase{u"12,5", 12}, ValueCase{u"23.4.5", 23.4}, ValueCase{u"1e5", 1},
        ValueCase{u"0x1A", 0}, ValueCase{u"--5", 0}, ValueCase{u"+-5", 0}, ValueCase{u"5-3", 5},
        ValueCase{u"23.4\r\n23.5", 23.4},
        // Either side of the full stop may be missing.
        ValueCase{u"-.5", -0.5}, ValueCase{u"5.", 5}, ValueCase{u".", 0}, ValueCase{u"-", 0},
        ValueCase{u"", 0}, ValueCase{u"A.5", 0},
        // Only ASCII digits count, whatever other scripts call a digit.
        ValueCase{u"\u0661\u0662", 0}, ValueCase{u"\uFF12\uFF13", 0}, ValueCase{u"nan", 0},
        ValueCase{u"inf", 0}));

TEST(NumericValueLimits, FailsOnlyForNumbersTooLargeForADouble)
{
    const QString huge = QStringLiteral("1") + QString(400, u'0');
    EXPECT_FALSE(numericValue(huge).has_value());
    EXPECT_FALSE(numericValue(QStringLiteral("-") + huge + QStringLiteral(".5")).has_value());

    // A fraction too small for a double is zero, not a failure.
    const std::optional<double> tiny =
        numericValue(QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1"));
    ASSERT_TRUE(tiny.has_value());
    EXPECT_EQ(*tiny, 0);

    // Leading zeros do not make a small number large.
    const std::optional<double> padded = numericValue(QString(400, u'0') + QStringLiteral("7"));
    ASSERT_TRUE(padded.has_value());
    EXPECT_EQ(*padded, 7);

    const std::optional<double> largest = numericValue(QStringLiteral("1") + QString(308, u'0'));
    ASSERT_TRUE(largest.has_value());
    EXPECT_TRUE(std::isfinite(*largest));
}

} // namespace
