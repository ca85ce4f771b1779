// A simulated serial thermometer on a pseudo-terminal, for the demo and the tests.
//
// It prints the device path of its line (and links it at --link PATH), waits until a reader
// opens the line, then writes readings as the device does: the text followed by carriage
// return and line feed, each character paced at the line's baud rate. It stops after
// --count readings or --seconds, when the reader goes away, or on SIGINT/SIGTERM.
//
//   zelvax-thermometer [--link PATH] [--baud 9600] [--count N] [--seconds S]
//                      [--interval MS] [--start 21.0] [--mode drift|garbage|script]
//                      [--seed N] [STEP...]
//
// Script steps: send:TEXT (escapes \r \n \t \\ \xHH) and wait:MS, run in order.

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::atomic<bool> stopRequested{false};

void requestStop(int)
{
    stopRequested = true;
}

struct Options
{
    std::string link;
    int baud = 9600;
    long count = -1;
    double seconds = -1;
    int intervalMs = 1000;
    double start = 21.0;
    std::string mode = "drift";
    unsigned seed = 1;
    std::vector<std::string> steps;
};

std::optional<Options> parseOptions(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--link" && hasValue)
            options.link = argv[++i];
        else if (arg == "--baud" && hasValue)
            options.baud = std::atoi(argv[++i]);
        else if (arg == "--count" && hasValue)
            options.count = std::atol(argv[++i]);
        else if (arg == "--seconds" && hasValue)
            options.seconds = std::atof(argv[++i]);
        else if (arg == "--interval" && hasValue)
            options.intervalMs = std::atoi(argv[++i]);
        else if (arg == "--start" && hasValue)
            options.start = std::atof(argv[++i]);
        else if (arg == "--mode" && hasValue)
            options.mode = argv[++i];
        else if (arg == "--seed" && hasValue)
            options.seed = static_cast<unsigned>(std::atol(argv[++i]));
        else if (arg.rfind("send:", 0) == 0 || arg.rfind("wait:", 0) == 0)
            options.steps.push_back(arg);
        else
            return std::nullopt;
    }
    if (options.baud <= 0 || options.intervalMs < 0)
        return std::nullopt;
    if (options.mode != "drift" && options.mode != "garbage" && options.mode != "script")
        return std::nullopt;
    return options;
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out.push_back('\r');
        else if (c == 'n')
            out.push_back('\n');
        else if (c == 't')
            out.push_back('\t');
        else if (c == 'x' && i + 2 < text.size() &&
                 std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                 std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            const std::string hex = text.substr(i + 1, 2);
            out.push_back(static_cast<char>(std::strtol(hex.c_str(), nullptr, 16)));
            i += 2;
        } else
            out.push_back(c);
    }
    return out;
}

class Line
{
public:
    bool create()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return false;
        const char* name = ptsname(m_master);
        if (!name)
            return false;
        m_path = name;
        // Raw from the start, so no line discipline turns carriage returns into line feeds
        // or echoes input before the reader sets the line up itself. Opening and closing
        // the other end also marks it closed, which is how a reader's arrival is seen.
        const int slave = open(name, O_RDWR | O_NOCTTY);
        if (slave < 0)
            return false;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        close(slave);
        return true;
    }

    ~Line()
    {
        if (m_master >= 0)
            close(m_master);
    }

    const std::string& path() const { return m_path; }

    // True while no one holds the other end open.
    bool readerAbsent() const
    {
        pollfd fd{m_master, POLLOUT, 0};
        return poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP);
    }

    bool writeByte(char byte) const
    {
        for (;;) {
            const ssize_t written = write(m_master, &byte, 1);
            if (written == 1)
                return true;
            if (written < 0 && errno != EINTR)
                return false;
        }
    }

private:
    int m_master = -1;
    std::string m_path;
};

class Simulator
{
public:
    Simulator(const Options& options, const Line& line)
        : m_options(options), m_line(line), m_random(options.seed),
          m_charTime(std::chrono::duration_cast<Clock::duration>(
              std::chrono::duration<double>(10.0 / options.baud)))
    {
        if (options.seconds >= 0)
            m_deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(options.seconds));
    }

    // False when told to stop or out of time before anyone opened the line.
    bool waitForReader()
    {
        while (m_line.readerAbsent()) {
            if (shouldStop())
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    void run()
    {
        if (m_options.mode == "script")
            runScript();
        else
            runReadings();
    }

private:
    bool shouldStop() const { return stopRequested || (m_deadline && Clock::now() >= *m_deadline); }

    bool readerGone() const { return m_line.readerAbsent(); }

    // Writes the text one character at a time at the line's pace.
    bool send(const std::string& text)
    {
        auto next = Clock::now();
        for (const char c : text) {
            if (stopRequested || !m_line.writeByte(c))
                return false;
            next += m_charTime;
            std::this_thread::sleep_until(next);
        }
        return true;
    }

    bool pause(std::chrono::milliseconds time)
    {
        const auto until = Clock::now() + time;
        while (Clock::now() < until) {
            if (shouldStop() || readerGone())
                return false;
            std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(), 10ms));
        }
        return true;
    }

    void runScript()
    {
        for (const std::string& step : m_options.steps) {
            if (shouldStop() || readerGone())
                return;
            const std::string value = step.substr(5);
            const bool ok = step.rfind("send:", 0) == 0
                                ? send(unescape(value))
                                : pause(std::chrono::milliseconds(std::atoi(value.c_str())));
            if (!ok)
                return;
        }
    }

    std::string nextReading()
    {
        if (m_options.mode == "garbage")
            return garbageBurst();
        std::uniform_int_distribution<int> step(-2, 2);
        m_temperature += step(m_random) * 0.1;
        char text[32];
        std::snprintf(text, sizeof text, "%.1f\r\n", m_temperature);
        return text;
    }

    // Random bytes of every value, NUL and 0x80-0xFF included, now and then with a line end.
    std::string garbageBurst()
    {
        std::uniform_int_distribution<int> length(0, 48);
        std::uniform_int_distribution<int> byte(0, 255);
        std::string burst(static_cast<std::size_t>(length(m_random)), '\0');
        for (char& c : burst)
            c = static_cast<char>(byte(m_random));
        if (byte(m_random) < 128)
            burst += "\r\n";
        return burst;
    }

    void runReadings()
    {
        for (long sent = 0; m_options.count < 0 || sent < m_options.count; ++sent) {
            if (shouldStop() || readerGone())
                return;
            if (!send(nextReading()))
                return;
            if (!pause(std::chrono::milliseconds(m_options.intervalMs)))
                return;
        }
    }

    const Options& m_options;
    const Line& m_line;
    std::mt19937 m_random;
    Clock::duration m_charTime;
    std::optional<Clock::time_point> m_deadline;
    double m_temperature = m_options.start;
};

} // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s [--link PATH] [--baud N] [--count N] [--seconds S] "
                     "[--interval MS] [--start T] [--mode drift|garbage|script] "
                     "[--seed N] [send:TEXT|wait:MS ...]\n",
                     argv[0]);
        return 2;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    Line line;
    if (!line.create()) {
        std::perror("cannot create a pseudo-terminal");
        return 1;
    }
    if (!options->link.empty()) {
        unlink(options->link.c_str());
        if (symlink(line.path().c_str(), options->link.c_str()) != 0) {
            std::perror("cannot link the line");
            return 1;
        }
    }
    std::printf("%s\n", line.path().c_str());
    std::fflush(stdout);

    Simulator simulator(*options, line);
    if (simulator.waitForReader())
        simulator.run();

    if (!options->link.empty())
        unlink(options->link.c_str());
    return 0;
}
