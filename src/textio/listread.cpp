#include "textio/listread.hpp"

#include <limits>

#include "textio/numconv.hpp"

namespace quelmar::textio {

namespace detail {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Largest repeat count accepted; a larger one is certainly a typing error.
constexpr std::int64_t max_repeat = std::numeric_limits<std::int32_t>::max();

std::string quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('\'');
    out.append(s);
    out.push_back('\'');
    return out;
}

template <class Real>
IoStat store_real(const RawValue& value, Real& target, InItem::Kind kind, std::string& message) {
    Real v{};
    if (parse_real(value.text, 0, v, true) != Conv::ok) {
        message = "bad " + std::string(kind_name(kind)) + " value " + quoted(value.text);
        return IoStat::bad_value;
    }
    target = v;
    return IoStat::ok;
}

template <class Int>
IoStat store_integer(const RawValue& value, Int& target, InItem::Kind kind, std::string& message) {
    std::int64_t v = 0;
    switch (parse_integer(value.text, std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max(), v)) {
    case Conv::ok:
        target = static_cast<Int>(v);
        return IoStat::ok;
    case Conv::overflow:
        message = "value " + quoted(value.text) + " out of range for " + kind_name(kind);
        return IoStat::overflow;
    case Conv::bad:
        break;
    }
    message = "bad " + std::string(kind_name(kind)) + " value " + quoted(value.text);
    return IoStat::bad_value;
}

} // namespace

const std::string* RecordCursor::ahead(std::size_t k) {
    std::string line;
    while (ahead_.size() <= k) {
        if (!in_ || !std::getline(*in_, line)) return nullptr;
        ahead_.push_back(std::move(line));
    }
    return &ahead_[k];
}

bool RecordCursor::next_record() {
    if (!ahead_.empty()) {
        rec_ = std::move(ahead_.front());
        ahead_.pop_front();
    } else if (!in_ || !std::getline(*in_, rec_)) {
        have_ = false;
        rec_.clear();
        pos_ = 0;
        return false;
    }
    have_ = true;
    pos_ = 0;
    ++recno_;
    return true;
}

bool ends_token(char c, bool namelist) {
    return RecordCursor::is_blank(c) || c == ',' || c == ';' || c == '/' || c == '\n' ||
           (namelist && c == '!');
}

ScanResult scan_value(RecordCursor& cur, bool namelist, RawValue& value, std::string& message) {
    value = RawValue{};
    // A repeat prefix is digits directly followed by an asterisk ("3*", "03*"); "-3*x" and "a*b" are
    // ordinary tokens.
    if (is_digit(cur.cur())) {
        std::size_t n = 0;
        while (is_digit(cur.peek(n))) ++n;
        if (cur.peek(n) == '*') {
            std::int64_t r = 0;
            for (std::size_t i = 0; i < n; ++i) {
                r = r * 10 + (cur.peek(i) - '0');
                if (r > max_repeat) {
                    message = "repeat count too large";
                    return ScanResult::bad;
                }
            }
            if (r == 0) {
                message = "zero repeat count";
                return ScanResult::bad;
            }
            value.repeat = r;
            cur.advance(n + 1);
            if (ends_token(cur.cur(), namelist)) return ScanResult::ok; // r null values
        }
    }
    const char c = cur.cur();
    if (c == '\'' || c == '"') {
        // A quoted string may continue on the following records; the record ends are not part of it.
        value.form = RawValue::Form::quoted;
        cur.advance();
        for (;;) {
            if (cur.at_eol()) {
                // The end of the file closes an open string, as gfortran has it; an item after
                // this one then meets the end of file.
                if (!cur.next_record()) return ScanResult::ok;
                continue;
            }
            const char d = cur.cur();
            if (d == c) {
                if (cur.peek(1) == c) {
                    value.text.push_back(c);
                    cur.advance(2);
                    continue;
                }
                cur.advance();
                break;
            }
            value.text.push_back(d);
            cur.advance();
        }
        if (!ends_token(cur.cur(), namelist)) {
            message = "text after the closing quote of " + quoted(value.text);
            return ScanResult::bad;
        }
        return ScanResult::ok;
    }
    value.form = RawValue::Form::token;
    while (!ends_token(cur.cur(), namelist)) {
        value.text.push_back(cur.cur());
        cur.advance();
    }
    return ScanResult::ok;
}

const char* kind_name(InItem::Kind kind) {
    switch (kind) {
    case InItem::Kind::Int32:
        return "integer(4)";
    case InItem::Kind::Int64:
        return "integer(8)";
    case InItem::Kind::Real32:
        return "real(4)";
    case InItem::Kind::Real64:
        return "real(8)";
    case InItem::Kind::Real128:
        return "real(16)";
    case InItem::Kind::Logical:
        return "logical";
    case InItem::Kind::Text:
        return "character";
    }
    return "?";
}

void assign_text(std::string& target, std::string_view value) {
    const std::size_t n = target.size();
    if (value.size() >= n) {
        target.assign(value.substr(0, n));
    } else {
        target.assign(value);
        target.append(n - value.size(), ' ');
    }
}

IoStat store_value(const RawValue& value, const InItem& item, std::string& message) {
    const InItem::Kind kind = item.kind();
    if (kind == InItem::Kind::Text) {
        assign_text(item.as<std::string>(), value.text);
        return IoStat::ok;
    }
    if (value.form == RawValue::Form::quoted) {
        message = "character value " + quoted(value.text) + " where a " + kind_name(kind) + " is expected";
        return IoStat::bad_value;
    }
    switch (kind) {
    case InItem::Kind::Int32:
        return store_integer(value, item.as<std::int32_t>(), kind, message);
    case InItem::Kind::Int64:
        return store_integer(value, item.as<std::int64_t>(), kind, message);
    case InItem::Kind::Real32:
        return store_real(value, item.as<float>(), kind, message);
    case InItem::Kind::Real64:
        return store_real(value, item.as<double>(), kind, message);
    case InItem::Kind::Real128:
        return store_real(value, item.as<float128>(), kind, message);
    case InItem::Kind::Logical: {
        // T or F, optionally after a point, then anything up to the separator.
        const std::string& s = value.text;
        const std::size_t i = !s.empty() && s[0] == '.' ? 1 : 0;
        const char c = i < s.size() ? lower(s[i]) : '\0';
        if (c == 't' || c == 'f') {
            item.as<bool>() = c == 't';
            return IoStat::ok;
        }
        message = "bad logical value " + quoted(s);
        return IoStat::bad_value;
    }
    case InItem::Kind::Text:
        break;
    }
    return IoStat::ok;
}

} // namespace detail

ListReader::ListReader(std::istream& in) : cur_(in) {}

ListReader::ListReader(std::string text)
    : owned_(std::make_unique<std::istringstream>(std::move(text))), cur_(*owned_) {}

ReadStatus ListReader::read_items(std::span<const InItem> items) {
    using detail::RawValue;
    ReadStatus st;
    auto fail = [&](IoStat code, std::size_t k, const std::string& what) {
        st.iostat = code;
        st.message = what;
        if (k < items.size())
            st.message += " (item " + std::to_string(k + 1) + ", " + detail::kind_name(items[k].kind()) + ")";
        st.message += " in record " + std::to_string(cur_.record_number());
        cur_.drop_record();
        return st;
    };

    // A statement starts at the next record.
    if (!cur_.next_record()) return fail(IoStat::end_of_file, items.size(), "end of file");

    // Separator state. `comma_pending`: the last separator was a comma (or semicolon), so a comma met
    // after the record end is a null value. `crossed_eol`: a record end was passed while looking for
    // the next value; a first comma after it belongs to that record end (blanks, record end and one
    // comma make one separator), unless a comma preceded the record end.
    bool comma_pending = false;
    bool crossed_eol = false;
    RawValue repeated;             // value of an r* prefix, while copies remain
    std::int64_t repeats_left = 0; // copies still to hand out
    InItem::Kind repeated_kind{};  // the type the repeated value was read as

    for (std::size_t k = 0; k < items.size(); ++k) {
        const InItem& item = items[k];
        std::string msg;
        if (repeats_left > 0) {
            --repeats_left;
            if (repeated.form != RawValue::Form::null) {
                if (item.kind() != repeated_kind)
                    return fail(IoStat::bad_value, k,
                                std::string("repeated ") + detail::kind_name(repeated_kind) +
                                    " value given to an item of another type");
                const IoStat r = detail::store_value(repeated, item, msg);
                if (r != IoStat::ok) return fail(r, k, msg);
            }
            st.items_done = static_cast<int>(k + 1);
            continue;
        }

        // Find the start of the next value.
        bool null_value = false;
        for (;;) {
            cur_.skip_blanks();
            if (cur_.at_eol()) {
                if (!cur_.next_record()) return fail(IoStat::end_of_file, k, "end of file");
                crossed_eol = true;
                continue;
            }
            const char c = cur_.cur();
            if (c == ',' || c == ';') {
                cur_.advance();
                if (c == ',' && crossed_eol && !comma_pending) {
                    crossed_eol = false;
                    continue;
                }
                comma_pending = true;
                crossed_eol = false;
                null_value = true;
            } else if (c == '/') {
                cur_.drop_record();
                return st; // the remaining items keep their values
            }
            break;
        }
        crossed_eol = false;
        if (null_value) {
            st.items_done = static_cast<int>(k + 1);
            continue;
        }

        RawValue v;
        switch (detail::scan_value(cur_, false, v, msg)) {
        case detail::ScanResult::ok:
            break;
        case detail::ScanResult::end_of_file:
            return fail(IoStat::end_of_file, k, msg);
        case detail::ScanResult::bad:
            return fail(IoStat::bad_value, k, msg);
        }
        if (v.form != RawValue::Form::null) {
            const IoStat r = detail::store_value(v, item, msg);
            if (r != IoStat::ok) return fail(r, k, msg);
        }
        if (v.repeat > 1) {
            repeated = v;
            repeats_left = v.repeat - 1;
            repeated_kind = item.kind();
        }
        // The separator after the value: blanks, then perhaps one comma.
        cur_.skip_blanks();
        comma_pending = cur_.cur() == ',' || cur_.cur() == ';';
        if (comma_pending) cur_.advance();
        st.items_done = static_cast<int>(k + 1);
    }
    cur_.drop_record();
    return st;
}

} // namespace quelmar::textio
