// file::Log: the mix-in through which classes write indented log lines to the
// one process-wide log file. Lines go out only while that file is open, which
// no component of the product does, so the log normally stays silent: Print
// then returns at once, taking no lock. Any thread may print while another
// opens or closes the log file.
#pragma once

namespace file {

class Log {
public:
    Log();
    Log(const Log&);
    Log& operator=(const Log&) { return *this; }
    virtual ~Log();

    void Print(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));

    // Process-wide log control (test tools and debugging).
    static bool OpenLogFile(const char* path);
    static void CloseLogFile();
    static bool IsLogOpen();
    static void Indent(int delta);  // 0..12 blanks
};

}  // namespace file
