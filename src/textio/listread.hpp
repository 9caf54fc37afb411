// List-directed (free-format) input, as a Fortran READ(unit, *) statement performs it with gfortran 12.
//
// The auxiliary lists of the system (precise-orbit records, station names, flux tables, voxel
// centres, status tables, ...) are read value by value rather than by column. One call of
// ListReader::read is one READ statement:
//
//  - it starts at the next record and continues onto further records while items remain;
//  - values are separated by blanks, by one comma (blanks around it belong to it) or by the end of a
//    record; a semicolon acts as a comma, as gfortran 12 accepts it even with the decimal point;
//  - `r*value` stands for r copies of value, `r*` for r null values; a null value (two commas, a
//    comma first in the statement) leaves its item unchanged; a repeated value keeps the type of the
//    item that first took it, and reaching an item of another type (or another integer or real kind)
//    with it is an error;
//  - character items are quoted ('...' or "...", the quote doubled inside, continuing across
//    records) or unquoted (ending at a blank, comma, semicolon, slash or the end of the record);
//  - logical items are T or F, optionally after a point, followed by any text up to a separator
//    (.true., .F., true, tx all read);
//  - a slash ends the statement and leaves the remaining items unchanged;
//  - after the statement the rest of the last record used is skipped.
//
// End of file before the statement has all its values gives IoStat::end_of_file; a value that does
// not convert gives IoStat::bad_value, and an integer outside its kind's range IoStat::overflow. The
// items before the failing one keep their new values (ReadStatus::items_done counts them); the others
// are untouched. Nothing throws on bad input.
#pragma once

#include <cstdint>
#include <deque>
#include <istream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "textio/format.hpp"

namespace quelmar::textio {

namespace detail {

// The records of a text stream read one at a time, with a position inside the current one. A
// carriage return is read as a blank, so files with CRLF line ends read as the same records.
class RecordCursor {
  public:
    explicit RecordCursor(std::istream& in) : in_(&in) {}

    // Moves to the next record; false at end of file.
    bool next_record();
    // The k-th record after the current one (0: the next), read ahead without moving; nullptr when
    // the file ends before it.
    const std::string* ahead(std::size_t k);
    // Forgets the rest of the current record: the next access starts a new one.
    void drop_record() { have_ = false; }
    bool has_record() const { return have_; }
    bool at_eol() const { return !have_ || pos_ >= rec_.size(); }
    char cur() const { return at_eol() ? '\n' : rec_[pos_]; }
    char peek(std::size_t ahead) const {
        return have_ && pos_ + ahead < rec_.size() ? rec_[pos_ + ahead] : '\n';
    }
    void advance(std::size_t n = 1) { pos_ = pos_ + n < rec_.size() ? pos_ + n : rec_.size(); }
    void skip_blanks() {
        while (!at_eol() && is_blank(rec_[pos_])) ++pos_;
    }
    void skip_to_eol() { pos_ = rec_.size(); }
    long record_number() const { return recno_; }
    std::size_t column() const { return pos_ + 1; }

    static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

  private:
    std::istream* in_;
    std::deque<std::string> ahead_; // records read ahead of the current one
    std::string rec_;
    std::size_t pos_ = 0;
    long recno_ = 0;
    bool have_ = false;
};

// One value as written in the input, before conversion to its item's type.
struct RawValue {
    enum class Form : std::uint8_t { null, token, quoted };
    Form form = Form::null;
    std::string text;        // the token, or the contents of the quoted string
    std::int64_t repeat = 1; // r of an r* prefix
};

enum class ScanResult : std::uint8_t { ok, end_of_file, bad };

// Reads one value starting at the cursor, which stands on its first (non-blank, non-separator)
// character: an optional repeat prefix, then a quoted string or an unquoted token. In namelist mode
// an exclamation mark also ends an unquoted token (it starts a comment). On `bad`, `message` says why.
ScanResult scan_value(RecordCursor& cur, bool namelist, RawValue& value, std::string& message);

// True for the characters that end an unquoted value.
bool ends_token(char c, bool namelist);

// Converts `value` (token or quoted) into `item`. Returns ok, bad_value or overflow; on failure
// `message` describes the value and the expected type, and the item is unchanged.
IoStat store_value(const RawValue& value, const InItem& item, std::string& message);

// The name of an item's type for messages ("integer", "real(8)", "logical", "character").
const char* kind_name(InItem::Kind kind);

// Fortran assignment to a character variable of the string's current length: truncated or padded
// with blanks.
void assign_text(std::string& target, std::string_view value);

} // namespace detail

class ListReader {
  public:
    // Reads the records of `in`, which must outlive the reader.
    explicit ListReader(std::istream& in);
    // Reads the records of a whole text held by the reader ("1 2\n3 4\n" holds two records).
    explicit ListReader(std::string text);

    ListReader(const ListReader&) = delete;
    ListReader& operator=(const ListReader&) = delete;

    // One READ statement into `items`.
    ReadStatus read_items(std::span<const InItem> items);

    // Convenience: scalars, or ranges (vector, array, span) of scalars, read in order.
    template <class... A>
    ReadStatus read(A&... args) {
        std::vector<InItem> items;
        items.reserve(sizeof...(A) * 2);
        (detail::push_in(items, args), ...);
        return read_items(items);
    }

    // As read(), and every real item must be finite (require_finite).
    template <class... A>
    ReadStatus read_numbers(A&... args) {
        std::vector<InItem> items;
        items.reserve(sizeof...(A) * 2);
        (detail::push_in(items, args), ...);
        return require_finite(read_items(items), items);
    }

    // Number of the last record read (1 for the first record of the stream), 0 before any read.
    long record_number() const { return cur_.record_number(); }

  private:
    std::unique_ptr<std::istringstream> owned_;
    detail::RecordCursor cur_;
};

} // namespace quelmar::textio
