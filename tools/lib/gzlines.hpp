// Lines of a plain or gzip-compressed text file, for the tools that read public products (SP3, RINEX).
// gzip input needs zlib (QUELMAR_HAVE_ZLIB, defined for the tool executables); without it a compressed
// file is refused with a message saying to decompress it first.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef QUELMAR_HAVE_ZLIB
#include <zlib.h>
#endif

namespace quelmar::tools {

class LineSource {
  public:
    LineSource() = default;
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;
    ~LineSource() { close(); }

    // Opens `path`. On failure returns false with the reason in `error`.
    bool open(const std::string& path, std::string& error) {
        close();
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        unsigned char magic[2] = {0, 0};
        const std::size_t n = std::fread(magic, 1, 2, f);
        std::fclose(f);
        if (n == 2 && magic[0] == 0x1f && magic[1] == 0x9d) {
            error = path + " is compressed with compress (.Z), which is not read here; uncompress it "
                           "first (uncompress or gzip -d) and convert the plain file";
            return false;
        }
        const bool gz = n == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
#ifdef QUELMAR_HAVE_ZLIB
        gz_ = gzopen(path.c_str(), "rb");
        if (gz_ == nullptr) {
            error = "cannot open " + path;
            return false;
        }
        gzbuffer(gz_, 1 << 17);
#else
        if (gz) {
            error = path + " is gzip-compressed and this tool was built without zlib; decompress it first";
            return false;
        }
        f_ = std::fopen(path.c_str(), "rb");
        if (f_ == nullptr) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
#endif
        (void)gz;
        path_ = path;
        lineno_ = 0;
        return true;
    }

    // The next line without its end (LF or CRLF). False at end of file or on a read error (see failed).
    bool next(std::string& line) {
        line.clear();
        bool any = false;
        for (;;) {
            const int c = getc();
            if (c < 0) break;
            any = true;
            if (c == '\n') break;
            line.push_back(static_cast<char>(c));
        }
        if (!any) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ++lineno_;
        return true;
    }

    // True when reading stopped on an error (a damaged compressed stream) rather than at the end.
    bool failed(std::string& error) const {
#ifdef QUELMAR_HAVE_ZLIB
        if (gz_ != nullptr) {
            int code = 0;
            const char* msg = gzerror(gz_, &code);
            if (code != Z_OK && code != Z_STREAM_END) {
                error = path_ + ": " + (msg != nullptr ? msg : "read error");
                return true;
            }
        }
#else
        if (f_ != nullptr && std::ferror(f_)) {
            error = path_ + ": read error";
            return true;
        }
#endif
        return false;
    }

    long line_number() const {
        return lineno_;
    }

    void close() {
#ifdef QUELMAR_HAVE_ZLIB
        if (gz_ != nullptr) gzclose(gz_);
        gz_ = nullptr;
#else
        if (f_ != nullptr) std::fclose(f_);
        f_ = nullptr;
#endif
    }

  private:
    int getc() {
#ifdef QUELMAR_HAVE_ZLIB
        return gzgetc(gz_);
#else
        return std::fgetc(f_);
#endif
    }

#ifdef QUELMAR_HAVE_ZLIB
    gzFile gz_ = nullptr;
#else
    std::FILE* f_ = nullptr;
#endif
    std::string path_;
    long lineno_ = 0;
};

} // namespace quelmar::tools
