#include "textio/namelist.hpp"

#include <stdexcept>
#include <utility>

namespace quelmar::textio {

namespace {

using detail::RawValue;

bool is_alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_name_char(char c) {
    return is_alpha(c) || is_digit(c) || c == '_';
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

bool valid_name(std::string_view s) {
    if (s.empty() || !is_alpha(s[0])) return false;
    for (char c : s)
        if (!is_name_char(c)) return false;
    return true;
}

// Reads a name (letters, digits, underscores) at the cursor.
std::string read_name(detail::RecordCursor& cur) {
    std::string name;
    while (is_name_char(cur.cur())) {
        name.push_back(lower(cur.cur()));
        cur.advance();
    }
    return name;
}

// At `&` or `$`: true when `end` follows (any case), the terminator of a group. gfortran takes any
// word starting with "end" ("&end", "&END", "$end", "&endgroup").
bool at_end_marker(const detail::RecordCursor& cur) {
    return lower(cur.peek(1)) == 'e' && lower(cur.peek(2)) == 'n' && lower(cur.peek(3)) == 'd';
}

// At a letter inside a value list: true when the word is a variable name, i.e. followed (after
// blanks, perhaps on a following record) by `=`, or directly by a subscript, so that the value list
// before it has ended.
bool looks_like_name(detail::RecordCursor& cur) {
    std::size_t i = 0;
    while (is_name_char(cur.peek(i))) ++i;
    if (cur.peek(i) == '(') return true;
    while (detail::RecordCursor::is_blank(cur.peek(i))) ++i;
    if (cur.peek(i) != '\n') return cur.peek(i) == '=';
    for (std::size_t k = 0;; ++k) {
        const std::string* rec = cur.ahead(k);
        if (!rec) return false;
        const std::size_t j = rec->find_first_not_of(" \t\r");
        if (j != std::string::npos) return (*rec)[j] == '=';
    }
}

// One subscript position: a single index or a section lo:hi:stride.
struct Subscript {
    std::int64_t lo = 0, hi = 0, stride = 1;
    bool section = false; // written with a colon
};

// Parses an optionally signed integer at the cursor. False if there is none.
bool read_index(detail::RecordCursor& cur, std::int64_t& v) {
    bool neg = false;
    std::size_t i = 0;
    if (cur.peek(0) == '+' || cur.peek(0) == '-') {
        neg = cur.peek(0) == '-';
        i = 1;
    }
    if (!is_digit(cur.peek(i))) return false;
    std::int64_t r = 0;
    while (is_digit(cur.peek(i))) {
        if (r < 1000000000) r = r * 10 + (cur.peek(i) - '0');
        ++i;
    }
    cur.advance(i);
    v = neg ? -r : r;
    return true;
}

} // namespace

NamelistGroup::NamelistGroup(std::string name) : name_(lowered(name)) {
    if (!valid_name(name_)) throw std::invalid_argument("invalid namelist group name '" + name + "'");
}

NamelistGroup& NamelistGroup::add_entry(std::string key, std::vector<InItem> elements,
                                        std::vector<int> dims) {
    std::string k = lowered(key);
    if (!valid_name(k)) throw std::invalid_argument("invalid namelist variable name '" + key + "'");
    if (find(k)) throw std::invalid_argument("variable '" + key + "' given twice in group &" + name_);
    std::size_t count = 1;
    for (int d : dims) {
        if (d < 1) throw std::invalid_argument("variable '" + key + "': extents must be positive");
        count *= static_cast<std::size_t>(d);
    }
    if (count != elements.size())
        throw std::invalid_argument("variable '" + key + "': the extents do not match the storage size");
    entries_.push_back(Entry{std::move(k), std::move(key), std::move(elements), std::move(dims)});
    return *this;
}

const NamelistGroup::Entry* NamelistGroup::find(std::string_view key) const {
    const std::string k = lowered(key);
    for (const Entry& e : entries_)
        if (e.key == k) return &e;
    return nullptr;
}

NamelistGroup::Entry* NamelistGroup::find(std::string_view key) {
    return const_cast<Entry*>(std::as_const(*this).find(key));
}

std::vector<std::string> NamelistGroup::missing_keys() const {
    std::vector<std::string> out;
    for (const Entry& e : entries_)
        if (!e.given) out.push_back(e.label);
    return out;
}

std::vector<std::string> NamelistGroup::nonfinite_keys() const {
    std::vector<std::string> out;
    for (const Entry& e : entries_)
        if (!require_finite(ReadStatus{}, e.elements).ok()) out.push_back(e.label);
    return out;
}

bool NamelistReader::find_group(const NamelistGroup& group) {
    // A raw scan for `&name` or `$name`, as gfortran does: comments are skipped, quotes are not
    // special. The name must end at a blank, comma, slash, comment or the record end.
    for (;;) {
        if (cur_.at_eol()) {
            if (!cur_.next_record()) return false;
            continue;
        }
        const char c = cur_.cur();
        cur_.advance();
        if (c == '!') {
            cur_.skip_to_eol();
        } else if (c == '&' || c == '$') {
            const std::string name = read_name(cur_);
            if (name == group.name() && detail::ends_token(cur_.cur(), true)) return true;
        }
    }
}

ReadStatus NamelistReader::read(NamelistGroup& group) {
    ReadStatus st;
    for (NamelistGroup::Entry& e : group.entries_) e.given = false;
    std::string where; // the variable being read, for messages
    auto fail = [&](IoStat code, const std::string& what) {
        st.iostat = code;
        st.message = "namelist &" + group.name() + ": ";
        if (!where.empty()) st.message += "variable '" + where + "': ";
        st.message += what + " (record " + std::to_string(cur_.record_number()) + ")";
        cur_.drop_record();
        return st;
    };

    if (!find_group(group)) return fail(IoStat::end_of_file, "group not found before end of file");

    for (;;) {
        where.clear();
        // Between assignments: blanks, commas, record ends and comments.
        cur_.skip_blanks();
        if (cur_.at_eol()) {
            if (!cur_.next_record())
                return fail(IoStat::end_of_file, "end of file before the end of the group");
            continue;
        }
        char c = cur_.cur();
        if (c == ',' || c == ';') {
            cur_.advance();
            continue;
        }
        if (c == '!') {
            cur_.skip_to_eol();
            continue;
        }
        if (c == '/') break;
        if (c == '&' || c == '$') {
            if (at_end_marker(cur_)) break;
            return fail(IoStat::bad_value, std::string("unexpected '") + c + "' inside the group");
        }
        if (!is_alpha(c))
            return fail(IoStat::bad_value, std::string("'") + c + "' where a variable name is expected");

        const std::string name = read_name(cur_);
        NamelistGroup::Entry* entry = group.find(name);
        if (!entry) return fail(IoStat::bad_value, "unknown variable '" + name + "'");
        where = name;

        // The elements that receive values, in order.
        std::vector<std::size_t> targets;
        if (cur_.cur() == '(') {
            cur_.advance();
            if (entry->dims.empty()) return fail(IoStat::bad_value, "subscript on a scalar");
            const std::size_t rank = entry->dims.size();
            std::vector<Subscript> subs;
            for (;;) {
                cur_.skip_blanks();
                if (subs.size() == rank) return fail(IoStat::bad_value, "too many subscripts");
                const std::int64_t extent = entry->dims[subs.size()];
                Subscript s{1, extent, 1};
                std::int64_t v = 0;
                bool have_lo = read_index(cur_, v);
                if (have_lo) s.lo = s.hi = v;
                cur_.skip_blanks();
                if (cur_.cur() == ':') {
                    s.section = true;
                    cur_.advance();
                    cur_.skip_blanks();
                    if (!have_lo) s.lo = 1;
                    s.hi = read_index(cur_, v) ? v : extent;
                    cur_.skip_blanks();
                    if (cur_.cur() == ':') {
                        cur_.advance();
                        cur_.skip_blanks();
                        if (!read_index(cur_, s.stride))
                            return fail(IoStat::bad_value, "bad subscript stride");
                        cur_.skip_blanks();
                    }
                } else if (!have_lo) {
                    return fail(IoStat::bad_value, "bad subscript");
                }
                if (s.stride == 0) return fail(IoStat::bad_value, "zero subscript stride");
                for (std::int64_t b : {s.lo, s.hi})
                    if (b < 1 || b > extent)
                        return fail(IoStat::bad_value, "subscript " + std::to_string(b) + " outside 1.." +
                                                           std::to_string(extent) + " in dimension " +
                                                           std::to_string(subs.size() + 1));
                if ((s.stride > 0 && s.lo > s.hi) || (s.stride < 0 && s.lo < s.hi))
                    return fail(IoStat::bad_value, "empty section");
                subs.push_back(s);
                if (cur_.cur() == ',') {
                    cur_.advance();
                    continue;
                }
                if (cur_.cur() == ')') {
                    cur_.advance();
                    break;
                }
                return fail(IoStat::bad_value, "bad subscript");
            }
            if (subs.size() != rank) return fail(IoStat::bad_value, "too few subscripts");
            bool element = true;
            for (const Subscript& sub : subs) element = element && !sub.section;
            if (element) {
                // An element takes its value and those after it, in column order, to the array's end.
                std::size_t off = 0, mult = 1;
                for (std::size_t d = 0; d < rank; ++d) {
                    off += static_cast<std::size_t>(subs[d].lo - 1) * mult;
                    mult *= static_cast<std::size_t>(entry->dims[d]);
                }
                for (; off < entry->elements.size(); ++off) targets.push_back(off);
            }
            // A section: all its index tuples, first subscript fastest.
            std::vector<std::int64_t> idx(rank);
            for (std::size_t d = 0; d < rank; ++d) idx[d] = subs[d].lo;
            while (!element) {
                std::size_t off = 0, mult = 1;
                for (std::size_t d = 0; d < rank; ++d) {
                    off += static_cast<std::size_t>(idx[d] - 1) * mult;
                    mult *= static_cast<std::size_t>(entry->dims[d]);
                }
                targets.push_back(off);
                std::size_t d = 0;
                for (; d < rank; ++d) {
                    idx[d] += subs[d].stride;
                    if (subs[d].stride > 0 ? idx[d] <= subs[d].hi : idx[d] >= subs[d].hi) break;
                    idx[d] = subs[d].lo;
                }
                if (d == rank) break;
            }
        } else {
            targets.resize(entry->elements.size());
            for (std::size_t i = 0; i < targets.size(); ++i) targets[i] = i;
        }

        // The equals sign, perhaps on a later record.
        for (;;) {
            cur_.skip_blanks();
            if (!cur_.at_eol()) break;
            if (!cur_.next_record()) return fail(IoStat::end_of_file, "end of file before '='");
        }
        if (cur_.cur() != '=') return fail(IoStat::bad_value, "'=' expected after the name");
        cur_.advance();
        entry->given = true;

        // The values, separated as in list-directed input, until the next name or the group's end.
        const bool text = entry->elements.front().kind() == InItem::Kind::Text;
        std::size_t next = 0; // position in `targets`
        bool comma_pending = false;
        bool crossed_eol = false;
        // Directly after the equals sign or a comma, on the same record, a comment stands for a null
        // value (as gfortran reads it: "x = ! note" followed by a value on the next record is one
        // value too many for a scalar).
        bool after_separator = true;
        for (;;) {
            cur_.skip_blanks();
            if (cur_.at_eol()) {
                if (!cur_.next_record())
                    return fail(IoStat::end_of_file, "end of file before the end of the group");
                crossed_eol = true;
                continue;
            }
            c = cur_.cur();
            if (c == '!') {
                cur_.skip_to_eol();
                if (after_separator && !crossed_eol) {
                    // gfortran takes such a comment for a name once the values are used up.
                    if (next >= targets.size() + 1)
                        return fail(IoStat::bad_value, "comment after the last value taken for a name");
                    comma_pending = true;
                    ++next;
                }
                after_separator = false;
                continue;
            }
            if (c == ',' || c == ';') {
                // A null value; nulls past the last element are ignored. Unlike list-directed input,
                // a comma first on a record is a separator of its own after a value (gfortran).
                cur_.advance();
                // Two nulls past the end are tolerated, a third one is an error (as gfortran).
                if (next > targets.size() + 1) return fail(IoStat::bad_value, "too many values");
                comma_pending = true;
                crossed_eol = false;
                after_separator = true;
                ++next;
                continue;
            }
            if (c == '/' || c == '&' || c == '$') break;
            if (is_alpha(c) && looks_like_name(cur_)) break;
            crossed_eol = false;
            if (next >= targets.size()) return fail(IoStat::bad_value, "too many values");
            RawValue v;
            std::string msg;
            switch (detail::scan_value(cur_, true, v, msg)) {
            case detail::ScanResult::ok:
                break;
            case detail::ScanResult::end_of_file:
                return fail(IoStat::end_of_file, msg);
            case detail::ScanResult::bad:
                return fail(IoStat::bad_value, msg);
            }
            // An undelimited character value is taken as gfortran takes it, up to the next
            // separator, unless it starts with a letter (then it would read as a misspelt name).
            if (text && v.form == RawValue::Form::token && is_alpha(v.text.front()))
                return fail(IoStat::bad_value, "character value '" + v.text + "' must be quoted");
            for (std::int64_t r = 0; r < v.repeat; ++r) {
                if (next >= targets.size()) return fail(IoStat::bad_value, "too many values");
                if (v.form != RawValue::Form::null) {
                    const IoStat res = detail::store_value(v, entry->elements[targets[next]], msg);
                    if (res != IoStat::ok) return fail(res, msg);
                    ++st.items_done;
                }
                ++next;
            }
            cur_.skip_blanks();
            comma_pending = cur_.cur() == ',' || cur_.cur() == ';';
            if (comma_pending) cur_.advance();
            after_separator = comma_pending;
        }
    }
    // The group is complete; the next read starts at the following record.
    cur_.drop_record();
    return st;
}

} // namespace quelmar::textio
