#pragma once
// Standard output for a report. What the report hands over at a flush (every line is flushed)
// reaches the file whole or not at all: a write cut short by a file size limit or a full disk is
// taken back from a regular file, so that a report never ends inside a line. The reason of the
// first failed write is kept for the message that says the report was lost.

#include <streambuf>
#include <string>

class report_output_buffer : public std::streambuf {
public:
    explicit report_output_buffer(int fd) : fd_(fd) {}
    ~report_output_buffer() override { sync(); }
    report_output_buffer(report_output_buffer const&) = delete;
    report_output_buffer& operator=(report_output_buffer const&) = delete;

    // The errno of the first write that failed; 0 while every write got through.
    int failure() const { return failure_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(char const* text, std::streamsize count) override;
    int sync() override;

private:
    int fd_;
    std::string pending_;
    int failure_ = 0;
};

// Why out could not take the report: the reason its report_output_buffer recorded, or empty where
// out has another buffer or nothing failed.
std::string report_failure_reason(std::ostream const& out);
