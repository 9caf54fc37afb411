// Namelist input, as a Fortran READ(unit, nml=group) statement performs it with gfortran 12.
//
// The configuration file holds groups such as
//
//     &params  nsat = 32, process(1,3) = .true.,   ! comment
//              weights = 30*1.0D0  title = 'run A' /
//
// A NamelistGroup binds the names of one group to program variables; NamelistReader::read reads the
// next occurrence of that group from a stream:
//
//  - text before `&name` (or `$name`) is skipped, other groups included; the group name and the
//    variable names are case-insensitive;
//  - `name = values` in any order, separated by blanks, commas and record ends; a name given twice
//    keeps its last value; `!` starts a comment up to the end of the record;
//  - the group ends with `/`, `&end` or `$end`; the next read starts at the record after it;
//  - values as in list-directed input (r*value, r* and null values, logicals, integers, reals with
//    E, D or Q exponents), except that character values must be quoted;
//  - an array name takes a list of values in column order (first index fastest), an element
//    `process(1,3)` or a section `process(1,:)`, `ivec(1:3:2)` takes values from that element or over
//    that section; fewer values than elements leave the rest unchanged.
//
// Statuses: a group not found before end of file, or end of file inside it, gives
// IoStat::end_of_file; an unknown name, a value that does not convert, too many values, a subscript
// outside the array give IoStat::bad_value (an integer out of range IoStat::overflow) with a message
// naming the variable. Values assigned before the error keep their new values. Nothing throws on bad
// input; only a malformed group definition (a programming error) throws std::invalid_argument.
#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <vector>

#include "textio/format.hpp"
#include "textio/listread.hpp"

namespace quelmar::textio {

class NamelistGroup {
  public:
    // One variable of the group: its elements in column order, and its shape (empty for a scalar).
    struct Entry {
        std::string key;   // lower case
        std::string label; // as given to add()
        std::vector<InItem> elements;
        std::vector<int> dims;
        bool given = false; // named in the last read of the group
    };

    explicit NamelistGroup(std::string name);

    const std::string& name() const { return name_; }

    // A scalar: bool, std::int32_t, std::int64_t, float, double, float128 or std::string (whose
    // length when read is its declared length).
    template <class T>
    NamelistGroup& add(std::string key, T& variable) requires std::is_constructible_v<InItem, T&> {
        return add_entry(std::move(key), {InItem(variable)}, {});
    }

    // An array held in column-major order (first index fastest), indexed from 1 in each dimension.
    // `dims` gives the extents; empty means one dimension of the storage's size. Their product must
    // be the storage size.
    template <class T, std::size_t Extent>
    NamelistGroup& add(std::string key, std::span<T, Extent> storage,
                       std::vector<int> dims = {}) requires std::is_constructible_v<InItem, T&> {
        std::vector<InItem> elems;
        elems.reserve(storage.size());
        for (T& e : storage) elems.emplace_back(e);
        if (dims.empty()) dims.push_back(static_cast<int>(storage.size()));
        return add_entry(std::move(key), std::move(elems), std::move(dims));
    }

    // The entry named `key` (any case), or nullptr.
    const Entry* find(std::string_view key) const;
    Entry* find(std::string_view key);

    // The keys (as given to add) that the last read of the group did not name, in the order they
    // were added. A key counts as named when it stands before an `=`, even if only null values
    // follow. Lets a caller insist that a configuration gives every key.
    std::vector<std::string> missing_keys() const;
    // Labels of the keys holding infinity or NaN in a real element (a namelist accepts "Inf", "NaN").
    std::vector<std::string> nonfinite_keys() const;

  private:
    friend class NamelistReader;

    NamelistGroup& add_entry(std::string key, std::vector<InItem> elements, std::vector<int> dims);

    std::string name_; // lower case
    std::vector<Entry> entries_;
};

class NamelistReader {
  public:
    // Reads groups from `in`, which must outlive the reader.
    explicit NamelistReader(std::istream& in) : cur_(in) {}

    NamelistReader(const NamelistReader&) = delete;
    NamelistReader& operator=(const NamelistReader&) = delete;

    // Finds the next `&name` of `group` and reads its assignments. `items_done` counts the values
    // stored. Also records which keys the group named (NamelistGroup::missing_keys).
    ReadStatus read(NamelistGroup& group);

    // Number of the last record read (1 for the first record of the stream).
    long record_number() const { return cur_.record_number(); }

  private:
    bool find_group(const NamelistGroup& group);

    detail::RecordCursor cur_;
};

} // namespace quelmar::textio
