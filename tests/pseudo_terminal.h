#pragma once

// A real pseudo-terminal for tests: the program opens the device path as its serial line,
// and the test writes to the other end as a thermometer would.

#include <QByteArray>
#include <QString>
#include <atomic>

class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    [[nodiscard]] bool isValid() const { return m_master >= 0; }
    [[nodiscard]] const QString& devicePath() const { return m_path; }

    // Writes everything, waiting while the reader's side is full; false when the line is
    // gone or, with a stop flag, once the flag is raised.
    bool write(const QByteArray& bytes, const std::atomic<bool>* stop = nullptr);
    // The thermometer goes away: the program's end hangs up.
    void hangUp();

private:
    int m_master = -1;
    QString m_path;
};
