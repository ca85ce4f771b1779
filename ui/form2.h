#pragma once

// The about box: the program's name, version and date in one green-on-black field.

#include <QString>
#include <QWidget>

class QPlainTextEdit;

class Form2 final : public QWidget
{
    Q_OBJECT
public:
    // Five lines, each ended by carriage return and line feed.
    static const QString aboutText;

    explicit Form2(QWidget* parent = nullptr);

    [[nodiscard]] QPlainTextEdit* text1() const { return Text1; }

private:
    QPlainTextEdit* Text1;
};
