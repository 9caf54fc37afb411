// Fortran edit-descriptor formats: compiled once, then used to write or read fixed-column records.
//
// Every record and file of the system is laid out by a Fortran format such as
// "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a)". A Format object parses such a text once into a flat list of
// edit operations and then writes items with the exact characters of gfortran 12's formatted output,
// or reads them from a line as a Fortran internal read of a blank-padded buffer does.
//
// Supported: repeat counts and nested groups r(...), A, Aw, Iw, Iw.m, Fw.d, Ew.d, Ew.dEe, Dw.d, Lw,
// nX (X alone is 1X), quoted literals '...' and "..." (a doubled quote stands for itself), any case,
// blanks anywhere. A format text outside this set throws FormatError: formats are part of the program,
// so a bad one is a programming error, never a data error.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quelmar::textio {

using float128 = __float128;

// A malformed format, or a format that does not fit its items (a real item under an I edit, a literal
// in a read): programming errors, reported with the format text and the position.
class FormatError : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// One value handed to a formatted write. Constructible from every scalar the system writes.
class OutItem {
  public:
    enum class Kind : std::uint8_t { Int, Real32, Real64, Real128, Logical, Text };

    OutItem(int v) : kind_(Kind::Int), i_(v) {}
    OutItem(long v) : kind_(Kind::Int), i_(v) {}
    OutItem(long long v) : kind_(Kind::Int), i_(v) {}
    OutItem(float v) : kind_(Kind::Real32), f_(v) {}
    OutItem(double v) : kind_(Kind::Real64), d_(v) {}
    OutItem(float128 v) : kind_(Kind::Real128), q_(v) {}
    OutItem(bool v) : kind_(Kind::Logical), b_(v) {}
    OutItem(std::string_view v) : kind_(Kind::Text), s_(v) {}
    OutItem(const char* v) : kind_(Kind::Text), s_(v) {}
    OutItem(const std::string& v) : kind_(Kind::Text), s_(v) {}

    Kind kind() const { return kind_; }
    std::int64_t as_int() const { return i_; }
    float as_float() const { return f_; }
    double as_double() const { return d_; }
    float128 as_float128() const { return q_; }
    bool as_bool() const { return b_; }
    std::string_view as_text() const { return s_; }

  private:
    Kind kind_;
    union {
        std::int64_t i_;
        float f_;
        double d_;
        float128 q_;
        bool b_;
    };
    std::string_view s_;
};

// A target of a formatted read. A std::string target has the length it has when passed, as a Fortran
// CHARACTER variable has its declared length: `std::string rec(4, ' ')` receives four characters.
class InItem {
  public:
    enum class Kind : std::uint8_t { Int32, Int64, Real32, Real64, Real128, Logical, Text };

    InItem(std::int32_t& v) : kind_(Kind::Int32), p_(&v) {}
    InItem(std::int64_t& v) : kind_(Kind::Int64), p_(&v) {}
    InItem(float& v) : kind_(Kind::Real32), p_(&v) {}
    InItem(double& v) : kind_(Kind::Real64), p_(&v) {}
    InItem(float128& v) : kind_(Kind::Real128), p_(&v) {}
    InItem(bool& v) : kind_(Kind::Logical), p_(&v) {}
    InItem(std::string& v) : kind_(Kind::Text), p_(&v) {}

    Kind kind() const { return kind_; }
    template <class T>
    T& as() const {
        return *static_cast<T*>(p_);
    }

  private:
    Kind kind_;
    void* p_;
};

// Outcome of a read, in the manner of IOSTAT: 0 success, -1 end of file (the format asked for a
// record that is not there), positive a conversion error. `items_done` counts the items stored before
// the error: those keep their new values, the others are untouched.
enum class IoStat : int { ok = 0, end_of_file = -1, bad_value = 1, overflow = 2 };

struct ReadStatus {
    IoStat iostat = IoStat::ok;
    int items_done = 0;
    std::string message; // empty on success, else what went wrong and in which item/columns
    bool ok() const { return iostat == IoStat::ok; }
    explicit operator bool() const { return ok(); }
};

// Supplies successive records to a read whose format (by its groups or by reversion) spans several
// lines. `next` returns false at end of file.
class RecordSource {
  public:
    virtual ~RecordSource() = default;
    virtual bool next(std::string_view& record) = 0;
};

namespace detail {
struct Op; // one compiled edit operation (format.cpp)

// Flattening of write arguments: scalars become one item, ranges of scalars one item each.
template <class T>
concept OutScalar = std::is_constructible_v<OutItem, const T&>;
template <class T>
concept OutRange = !OutScalar<T> && requires(const T& r) {
    std::begin(r);
    std::end(r);
}
&&OutScalar<std::remove_cvref_t<decltype(*std::begin(std::declval<const T&>()))>>;

template <class T>
void push_out(std::vector<OutItem>& v, const T& x) {
    if constexpr (OutScalar<T>) {
        v.emplace_back(x);
    } else {
        static_assert(OutRange<T>, "write item must be a scalar or a range of scalars");
        for (const auto& e : x) v.emplace_back(e);
    }
}

template <class T>
concept InScalar = std::is_constructible_v<InItem, T&> && !std::is_const_v<T>;

template <class T>
void push_in(std::vector<InItem>& v, T& x) {
    if constexpr (InScalar<T>) {
        v.emplace_back(x);
    } else {
        for (auto& e : x) v.emplace_back(e);
    }
}
} // namespace detail

// Numbers that feed the model must be finite: a Fortran read accepts "Inf" and "NaN" as values, and
// such a value would pass every comparison that screens data (a NaN is neither below nor above a
// mask) and flow into the records. After a successful read, a status that turns a non-finite real item
// into a conversion error naming the item; `st` is returned unchanged otherwise.
ReadStatus require_finite(ReadStatus st, std::span<const InItem> items);

class Format {
  public:
    explicit Format(std::string_view text); // throws FormatError
    ~Format();
    Format(const Format&);
    Format& operator=(const Format&);
    Format(Format&&) noexcept;
    Format& operator=(Format&&) noexcept;

    const std::string& text() const { return text_; }

    // Appends the record(s) for `items` to `out`. Records produced by format reversion are separated
    // by '\n'; no newline is added after the last one. Throws FormatError on an item/edit mismatch.
    // With `overflowed`, adds the number of numeric fields too narrow for their value (written as
    // asterisks, as Fortran does).
    void write_items(std::string& out, std::span<const OutItem> items, std::size_t* overflowed = nullptr) const;

    // Convenience: items may be scalars or ranges (vector, array, span) of scalars.
    template <class... A>
    std::string write(const A&... args) const {
        std::vector<OutItem> items;
        items.reserve(sizeof...(A) * 2);
        (detail::push_out(items, args), ...);
        std::string out;
        write_items(out, items);
        return out;
    }
    // As write(), counting the fields too narrow for their value into *overflowed.
    template <class... A>
    std::string write_counted(std::size_t& overflowed, const A&... args) const {
        std::vector<OutItem> items;
        items.reserve(sizeof...(A) * 2);
        (detail::push_out(items, args), ...);
        std::string out;
        write_items(out, items, &overflowed);
        return out;
    }

    // Reads items from one line, as an internal read of a blank-padded buffer: columns past the end
    // of the line read as blanks; needing a second record gives end_of_file.
    ReadStatus read_items(std::string_view line, std::span<const InItem> items) const;
    // Reads items from successive records of `src` (a new record at each reversion).
    ReadStatus read_items(RecordSource& src, std::span<const InItem> items) const;

    template <class... A>
    ReadStatus read(std::string_view line, A&... args) const {
        std::vector<InItem> items;
        items.reserve(sizeof...(A) * 2);
        (detail::push_in(items, args), ...);
        return read_items(line, items);
    }
    // As read(), and every real item must be finite (require_finite).
    template <class... A>
    ReadStatus read_numbers(std::string_view line, A&... args) const {
        std::vector<InItem> items;
        items.reserve(sizeof...(A) * 2);
        (detail::push_in(items, args), ...);
        return require_finite(read_items(line, items), items);
    }

  private:
    std::string text_;
    std::vector<detail::Op> ops_;
    std::size_t reversion_ = 0; // where format control reverts when items remain at the end
    bool has_data_ = false;     // at least one data edit descriptor
};

} // namespace quelmar::textio
