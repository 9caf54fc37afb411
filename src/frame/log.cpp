#include "frame/log.hpp"

namespace quelmar::frame {

TextSink::~TextSink() {
    close();
}

bool TextSink::open(const std::string& name) {
    close();
    f_ = std::fopen(name.c_str(), "w");
    if (f_ == nullptr) return false;
    owned_ = true;
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 16);
    return true;
}

void TextSink::close() {
    if (f_ == nullptr) return;
    if (owned_)
        std::fclose(f_);
    else
        std::fflush(f_);
    f_ = nullptr;
}

void TextSink::flush() {
    if (f_ != nullptr) std::fflush(f_);
}

void TextSink::line(std::string_view text) {
    if (capture_ != nullptr) (capture_->append(text)) += '\n';
    if (f_ == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), f_);
    std::fputc('\n', f_);
}

void TextSink::raw(std::string_view records) {
    if (capture_ != nullptr) capture_->append(records);
    if (f_ != nullptr) std::fwrite(records.data(), 1, records.size(), f_);
}

} // namespace quelmar::frame
