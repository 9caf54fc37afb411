// The run's log file and its standard output stream, both buffered.
//
// The log can be restarted between two input lines: closed and opened again under the same name, so
// that it starts empty. Lines are written whole; list-directed lines start with a blank and separate
// their items with blanks (textio/listwrite.hpp).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "textio/format.hpp"
#include "textio/listwrite.hpp"

namespace quelmar::frame {

// A sequential text file written line by line through a large buffer.
class TextSink {
  public:
    TextSink() = default;
    explicit TextSink(std::FILE* f) : f_(f), owned_(false) {}
    ~TextSink();
    TextSink(const TextSink&) = delete;
    TextSink& operator=(const TextSink&) = delete;

    // Opens (creating or truncating) the named file. Returns false when it cannot be opened.
    bool open(const std::string& name);
    void close();
    bool is_open() const { return f_ != nullptr; }
    void flush();

    // One record: the text and a newline.
    void line(std::string_view text);
    // Whole records already laid out (each with its newline), written as they are.
    void raw(std::string_view records);
    // While `to` is set, every record written is also appended to *to (with its newline): what a step
    // wrote can be written again later, byte for byte, with raw().
    void capture(std::string* to) { capture_ = to; }
    // A list-directed record.
    template <class... A>
    void list(const A&... args) {
        line(textio::list_line(args...));
    }
    // A record written with a format (reversion lines included).
    template <class... A>
    void formatted(const textio::Format& fmt, const A&... args) {
        std::size_t narrow = 0;
        line(fmt.write_counted(narrow, args...));
        if (narrow > 0) ++overflowed_records_;
    }
    // Formatted records written so far with at least one numeric field too narrow for its value.
    std::size_t overflowed_records() const { return overflowed_records_; }

  private:
    std::FILE* f_ = nullptr;
    bool owned_ = true;
    std::string* capture_ = nullptr;
    std::size_t overflowed_records_ = 0;
};

// The log: a TextSink that knows its file name and whether informative lines are wanted.
class Log : public TextSink {
  public:
    bool open_named(const std::string& name) {
        name_ = name;
        return open(name);
    }
    // Closes and reopens the log under its name; the new log starts empty.
    bool restart() {
        close();
        return open(name_);
    }
    const std::string& name() const { return name_; }

    // silent_log of the configuration: informative lines are suppressed, errors and warnings not.
    bool silent = false;

  private:
    std::string name_;
};

} // namespace quelmar::frame
