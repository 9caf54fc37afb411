// antex_to_gcs: writes the GPS constellation status file from the satellite antenna entries of an
// ANTEX file, so that the file can be derived from public IGS products.
//
//   antex_to_gcs [--date YYYY-MM-DD] [--keep-all] ANTEX_FILE [OUTPUT_FILE]
//
// Without OUTPUT_FILE the records go to standard output. Notes on skipped, merged and dropped entries
// and a summary go to standard error. Exit status: 0 done, 1 input or output file problem, 2 usage.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "lib/antex_gcs.hpp"

namespace {

constexpr const char* usage_text =
    "usage: antex_to_gcs [--date YYYY-MM-DD] [--keep-all] ANTEX_FILE [OUTPUT_FILE]\n"
    "\n"
    "Writes the GPS constellation status file (gpscstatusfile) from the GPS satellite antenna\n"
    "entries of an ANTEX file: one record per entry,\n"
    "  iprn  year0 month0 day0  year1 month1 day1  iblock  isv\n"
    "with the PRN, the first and last day of validity (an entry still valid ends on 2062-12-31),\n"
    "the block code (BLOCK I 1, II 2, IIA 3, IIR-A 4, IIR-B 5, IIR-M 6, IIF 7) and the SVN.\n"
    "\n"
    "The status table keeps one period per vehicle. A vehicle listed more than once keeps one PRN:\n"
    "the PRN of its entry valid on --date, or else of its latest entry; its entries under that PRN\n"
    "are merged into one record, those under other PRNs are dropped (each reported).\n"
    "\n"
    "  --date YYYY-MM-DD  the day the data to be processed belong to (for vehicles listed twice)\n"
    "  --keep-all         write every entry as it is, without merging or dropping\n"
    "  -h, --help         this text\n"
    "\n"
    "Without OUTPUT_FILE the records are written to standard output.\n";

int usage_error(const std::string& what) {
    std::cerr << "antex_to_gcs: " << what << "\n" << usage_text;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace quelmar::tools;
    std::optional<Date> at;
    bool keep_all = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << usage_text;
            return 0;
        }
        if (a == "--keep-all") {
            keep_all = true;
        } else if (a == "--date") {
            if (i + 1 >= argc) return usage_error("--date needs a date YYYY-MM-DD");
            at = parse_date(argv[++i]);
            if (!at) return usage_error(std::string("not a date YYYY-MM-DD: ") + argv[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.empty() || files.size() > 2)
        return usage_error("expected an ANTEX file and optionally an output file");

    std::ifstream in(files[0]);
    if (!in) {
        std::cerr << "antex_to_gcs: cannot open ANTEX file: " << files[0] << "\n";
        return 1;
    }
    const AntexScan scan = scan_antex(in);
    if (in.bad()) {
        std::cerr << "antex_to_gcs: error reading ANTEX file: " << files[0] << "\n";
        return 1;
    }
    if (!scan.error.empty()) {
        std::cerr << "antex_to_gcs: " << files[0] << ": " << scan.error << "\n";
        return 1;
    }
    const Selection sel = select_records(scan.entries, at, keep_all);
    for (const auto& n : scan.notes) std::cerr << "antex_to_gcs: note: " << n << "\n";
    for (const auto& n : sel.notes) std::cerr << "antex_to_gcs: note: " << n << "\n";

    std::string text;
    for (const auto& r : sel.records) text += gcs_line(r) + "\n";
    if (files.size() == 2) {
        std::ofstream out(files[1], std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::cerr << "antex_to_gcs: cannot write output file: " << files[1] << "\n";
            return 1;
        }
    } else {
        std::cout << text;
        std::cout.flush();
        if (!std::cout) return 1;
    }
    std::cerr << "antex_to_gcs: " << scan.gps_antennas << " GPS satellite antennas, " << sel.records.size()
              << " records written (" << scan.gps_antennas - static_cast<int>(scan.entries.size())
              << " skipped, " << sel.merged << " merged, " << sel.dropped << " dropped); "
              << scan.other_satellites << " antennas of other satellite systems ignored\n";
    if (sel.dropped > 0 && !at)
        std::cerr << "antex_to_gcs: to keep instead the assignments of the day you process, give --date "
                     "YYYY-MM-DD\n";
    return 0;
}
