// screening_report: runs the upstream cycle-slip screening (lib/screening.hpp, default thresholds) on
// RINEX observation files and reports, per station-day, what it flags; optionally injects slips into
// the real data and reports which of them are caught.
//
//   screening_report [--inject KIND:N[,KIND:N]...] [--at middle|random|SOD[,SOD]...] [--seed S]
//                    [--stretch EPOCHS] OBSFILE...
//
// Observations are taken as the converter takes them: GPS satellites, L1 L2, P1 (else C1) and P2, with
// the same preference of RINEX 3 codes; a satellite of a RINEX 3 file that also has L5 and C5 (L5Q/L5X/
// L5I, C5Q/C5X/C5I) at its first observation is screened on three frequencies (dbew and dlew_w), and its
// later epochs without L5 are left out. One screening state per satellite, in time order.
//
// Report (one row per station-day): epochs, satellites, observations, arcs, flags by test (a flag can
// come from several tests), the receiver's loss-of-lock indicators (bit 0 of the LLI digit of a used
// carrier phase, or an epoch flag 1), then the clean observations and the false alarms among them. A
// clean observation continues its satellite's data at the nominal sampling (the time since the
// previous observation is at most 1.5 times the file's sampling interval) and carries no loss-of-lock
// indicator; a false alarm is a slip flag on a clean observation. Some false alarms may be real slips
// the receiver did not mark: the count is an upper bound.
//
// Injection: KIND is L1, L2 or L1L2 (the same N on both), N the cycles added to that carrier phase from
// the chosen epoch on. Clean stretches (runs of clean observations) are cut into pieces of EPOCHS
// (default 40); in each piece one epoch is chosen at which the original screening raised no flag at
// that epoch and the three before it (so the geometry-free test has its two previous epochs), at least
// five epochs before the piece's end: its middle (default), a random one (--seed, default 1), or the
// epochs at the given seconds of day. From the state before that epoch the piece is screened again
// with the slip. Reported per kind: injected, flagged at the slip epoch, by test, and flags at later
// epochs of the piece, out of the epochs screened after the slip (after a caught slip the new arc
// should stay quiet; the count includes the false alarms the data have there anyway).
//
// Status: 0 done, 1 a file cannot be read (the message names file and line), 2 usage errors.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "lib/rinex.hpp"
#include "lib/screening.hpp"

namespace {

namespace rnx = quelmar::tools::rinex;
namespace scr = quelmar::tools::screening;

constexpr double f_l1 = 1575.42e6, f_l2 = 1227.60e6, f_l5 = 1176.45e6; // GPS carriers, Hz
constexpr int min_history = 3; // unflagged epochs before an injection: d2li needs two, plus one
constexpr int min_after = 5;   // epochs kept after an injection to see late flags

struct Sample {
    double t = 0;   // s, continuous (MJD * 86400 + second of day)
    int mjd = 0;    // day of the epoch
    double sod = 0; // second of day
    double l1 = 0, l2 = 0, l5 = 0, p1 = 0, p2 = 0, p5 = 0;
    bool three = false;
    bool lli = false; // the receiver marked a loss of lock (or a power failure before the epoch)
};

struct Series {
    std::string station;
    int prn = 0;
    bool three = false; // decided by the first observation
    std::vector<Sample> v;
};

struct FileData {
    std::string path, station;
    double interval = 30.0; // nominal sampling, s
    std::vector<Series> series;
    std::map<int, int> epochs_per_day; // mjd -> epochs with GPS observations
};

// The first present value among the candidate type indices.
const rnx::ObsValue* first_present(const rnx::SatObs& s, const std::vector<int>& candidates) {
    for (int i : candidates) {
        if (i < 0 || static_cast<std::size_t>(i) >= s.values.size()) continue;
        const rnx::ObsValue& v = s.values[static_cast<std::size_t>(i)];
        if (v.present && std::fabs(v.value) < 9.9e9) return &v;
    }
    return nullptr;
}

std::vector<int> type_indices(const std::vector<std::string>& types,
                              std::initializer_list<const char*> codes) {
    std::vector<int> out;
    for (const char* c : codes)
        for (std::size_t i = 0; i < types.size(); ++i)
            if (types[i] == c) out.push_back(static_cast<int>(i));
    return out;
}

FileData read_file(const std::string& path) {
    FileData fd;
    fd.path = path;
    rnx::ObsReader r;
    r.open(path);
    const rnx::ObsHeader& h = r.header();
    fd.station = h.marker;
    fd.station.resize(4, ' ');
    const std::vector<std::string>* types = h.types_for('G');
    if (types == nullptr) return fd;
    const bool v3 = h.version >= 3;
    const auto il1 = v3 ? type_indices(*types, {"L1C", "L1W", "L1P", "L1X"}) : type_indices(*types, {"L1"});
    const auto il2 =
        v3 ? type_indices(*types, {"L2W", "L2P", "L2L", "L2X", "L2S"}) : type_indices(*types, {"L2"});
    const auto ip1 = v3 ? type_indices(*types, {"C1W", "C1P"}) : type_indices(*types, {"P1"});
    const auto ic1 = v3 ? type_indices(*types, {"C1C", "C1X"}) : type_indices(*types, {"C1"});
    const auto ip2 =
        v3 ? type_indices(*types, {"C2W", "C2P", "C2L", "C2X", "C2S"}) : type_indices(*types, {"P2"});
    const auto il5 = v3 ? type_indices(*types, {"L5Q", "L5X", "L5I"}) : std::vector<int>{};
    const auto ip5 = v3 ? type_indices(*types, {"C5Q", "C5X", "C5I"}) : std::vector<int>{};
    std::map<int, std::size_t> index; // prn -> series
    std::vector<double> steps;        // epoch spacing, for the nominal interval
    double t_prev = 0;
    bool have_prev = false;
    rnx::ObsEpoch e;
    while (r.next(e)) {
        if (e.flag == 6) continue; // cycle-slip records repeat earlier epochs
        const double t = e.time.mjd * 86400.0 + e.time.sod;
        bool any = false;
        for (const rnx::SatObs& s : e.sats) {
            if (s.system != 'G' || s.prn < 1) continue;
            const rnx::ObsValue* l1 = first_present(s, il1);
            const rnx::ObsValue* l2 = first_present(s, il2);
            const rnx::ObsValue* p2 = first_present(s, ip2);
            const rnx::ObsValue* p1 = first_present(s, ip1);
            if (p1 == nullptr) p1 = first_present(s, ic1);
            if (!l1 || !l2 || !p2 || !p1) continue;
            const rnx::ObsValue* l5 = first_present(s, il5);
            const rnx::ObsValue* p5 = first_present(s, ip5);
            auto [it, fresh] = index.try_emplace(s.prn, fd.series.size());
            if (fresh) {
                fd.series.push_back(Series{fd.station, s.prn, l5 != nullptr && p5 != nullptr, {}});
            }
            Series& ser = fd.series[it->second];
            if (ser.three && (l5 == nullptr || p5 == nullptr)) continue;
            Sample x;
            x.t = t;
            x.mjd = e.time.mjd;
            x.sod = e.time.sod;
            x.l1 = l1->value;
            x.l2 = l2->value;
            x.p1 = p1->value;
            x.p2 = p2->value;
            x.three = ser.three;
            x.lli = (l1->lli & 1) != 0 || (l2->lli & 1) != 0 || e.flag == 1;
            if (ser.three) {
                x.l5 = l5->value;
                x.p5 = p5->value;
                x.lli = x.lli || (l5->lli & 1) != 0;
            }
            ser.v.push_back(x);
            any = true;
        }
        if (any) {
            ++fd.epochs_per_day[e.time.mjd];
            if (have_prev && t > t_prev) steps.push_back(t - t_prev);
            t_prev = t;
            have_prev = true;
        }
    }
    if (h.interval > 0) {
        fd.interval = h.interval;
    } else if (!steps.empty()) {
        std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2),
                         steps.end());
        fd.interval = steps[steps.size() / 2];
    }
    return fd;
}

scr::Observation observation(const Sample& s, double dl1 = 0, double dl2 = 0) {
    scr::Observation o;
    o.t = s.t;
    o.l1 = s.l1 + dl1;
    o.l2 = s.l2 + dl2;
    o.p1 = s.p1;
    o.p2 = s.p2;
    o.f1 = f_l1;
    o.f2 = f_l2;
    if (s.three) {
        o.l3 = s.l5;
        o.p3 = s.p5;
        o.f3 = f_l5;
    }
    return o;
}

// The screening of one satellite's observations: the state before each observation and the result.
struct Screened {
    std::vector<scr::PairState> before;
    std::vector<scr::ScreeningResult> r;
    std::vector<bool> clean;
};

Screened screen(const Series& s, double interval) {
    Screened out;
    const scr::ScreeningOptions opt;
    scr::PairState st;
    const std::size_t n = s.v.size();
    out.before.reserve(n);
    out.r.reserve(n);
    out.clean.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        out.before.push_back(st);
        out.r.push_back(scr::screen_observation(st, observation(s.v[k]), opt));
        const double dt = out.r[k].dtsec_ob1;
        out.clean[k] = k > 0 && out.r[k].usable && !s.v[k].lli && dt > 0 && dt <= 1.5 * interval;
    }
    return out;
}

struct DayRow {
    std::string station;
    int mjd = 0;
    int epochs = 0;
    std::map<int, bool> sats;
    long obs = 0, arcs = 0, gap = 0, d2li = 0, dbw = 0, dbew = 0, dlew_w = 0, lli = 0, clean = 0,
         false_alarms = 0;
    long three_obs = 0;
};

struct Kind {
    std::string name; // L1, L2, L1L2
    double n1 = 0, n2 = 0;
    int cycles = 0;
};

struct InjectRow {
    long injected = 0, flagged = 0, gap = 0, d2li = 0, dbw = 0, dbew = 0, dlew_w = 0, after = 0,
         checked_after = 0;
};

// splitmix64: a small generator whose sequence is the same on every platform.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t s_;
};

struct Options {
    std::vector<Kind> kinds;
    std::string at = "middle";
    std::vector<double> at_sod;
    std::uint64_t seed = 1;
    int stretch = 40;
    std::vector<std::string> files;
};

bool parse_number(const std::string& s, double& v) {
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return !s.empty() && end == s.c_str() + s.size() && std::isfinite(v);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = s.find(sep, start);
        out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

// Parses the command line; an empty message means success.
std::string parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--inject" && has_value) {
            for (const std::string& item : split(argv[++i], ',')) {
                const auto parts = split(item, ':');
                double n = 1;
                if (parts.size() > 2 || (parts.size() == 2 && !parse_number(parts[1], n)) || n < 1 ||
                    n > 1e6 || n != std::floor(n))
                    return "--inject: bad item \"" + item + "\" (KIND:N, N whole cycles >= 1)";
                Kind k{parts[0], 0, 0, static_cast<int>(n)};
                if (k.name == "L1")
                    k.n1 = n;
                else if (k.name == "L2")
                    k.n2 = n;
                else if (k.name == "L1L2")
                    k.n1 = k.n2 = n;
                else
                    return "--inject: unknown kind \"" + k.name + "\" (L1, L2 or L1L2)";
                o.kinds.push_back(k);
            }
        } else if (a == "--at" && has_value) {
            o.at = argv[++i];
            if (o.at != "middle" && o.at != "random") {
                for (const std::string& s : split(o.at, ',')) {
                    double v = 0;
                    if (!parse_number(s, v) || v < 0 || v >= 86400)
                        return "--at: bad second of day \"" + s + "\"";
                    o.at_sod.push_back(v);
                }
            }
        } else if (a == "--seed" && has_value) {
            double v = 0;
            if (!parse_number(argv[++i], v) || v < 0) return "--seed wants a non-negative integer";
            o.seed = static_cast<std::uint64_t>(v);
        } else if (a == "--stretch" && has_value) {
            double v = 0;
            if (!parse_number(argv[++i], v) || v < 2 * (min_history + min_after) || v > 100000)
                return "--stretch wants a whole number of epochs >= 16";
            o.stretch = static_cast<int>(v);
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option or missing value: " + a;
        } else {
            o.files.push_back(a);
        }
    }
    if (o.files.empty()) return "no observation file";
    return "";
}

std::string date_of(int mjd) {
    // Civil date from the MJD (Fliegel and Van Flandern's algorithm on the Julian day number).
    long l = mjd + 2400001L + 68569L;
    const long n = 4 * l / 146097;
    l -= (146097 * n + 3) / 4;
    const long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const long j = 80 * l / 2447;
    const long d = l - 2447 * j / 80;
    l = j / 11;
    const long m = j + 2 - 12 * l;
    const long y = 100 * (n - 49) + i + l;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ld", y, m, d);
    return buf;
}

// The epochs of one clean piece [a, b] at which a slip may be injected.
std::vector<std::size_t> eligible(const Screened& s, std::size_t a, std::size_t b) {
    std::vector<std::size_t> out;
    for (std::size_t k = a + min_history; k + min_after <= b; ++k) {
        bool quiet = true;
        for (std::size_t j = k - min_history; j <= k; ++j) quiet = quiet && !s.r[j].cycleslip_;
        if (quiet) out.push_back(k);
    }
    return out;
}

void inject(const Series& ser, const Screened& s, std::size_t k, std::size_t end, const Kind& kind,
            InjectRow& row) {
    const scr::ScreeningOptions opt;
    scr::PairState st = s.before[k];
    ++row.injected;
    for (std::size_t j = k; j <= end; ++j) {
        const scr::ScreeningResult r =
            scr::screen_observation(st, observation(ser.v[j], kind.n1, kind.n2), opt);
        if (j == k) {
            row.flagged += r.cycleslip_;
            row.gap += r.cycleslip_dt;
            row.d2li += r.cycleslip_d2li;
            row.dbw += r.cycleslip_dbw;
            row.dbew += r.cycleslip_dbew;
            row.dlew_w += r.cycleslip_dlew_w;
        } else {
            ++row.checked_after;
            row.after += r.cycleslip_;
        }
    }
}

int run(int argc, char** argv) {
    Options o;
    if (const std::string err = parse(argc, argv, o); !err.empty()) {
        std::fprintf(stderr, "screening_report: %s\n", err.c_str());
        std::fprintf(
            stderr, "usage: screening_report [--inject KIND:N[,KIND:N]...] [--at middle|random|SOD[,SOD]...] "
                    "[--seed S] [--stretch EPOCHS] OBSFILE...\n");
        return 2;
    }
    Rng rng(o.seed);
    std::vector<DayRow> days;
    // Injection results: per kind, per station-day and in total.
    std::vector<std::map<std::pair<std::string, int>, InjectRow>> inj(o.kinds.size());
    std::vector<InjectRow> inj_total(o.kinds.size());
    for (const std::string& path : o.files) {
        const FileData fd = read_file(path);
        std::map<int, DayRow> rows;
        for (const auto& [mjd, n] : fd.epochs_per_day) {
            rows[mjd].station = fd.station;
            rows[mjd].mjd = mjd;
            rows[mjd].epochs = n;
        }
        for (const Series& ser : fd.series) {
            const Screened s = screen(ser, fd.interval);
            for (std::size_t k = 0; k < ser.v.size(); ++k) {
                DayRow& d = rows[ser.v[k].mjd];
                const scr::ScreeningResult& r = s.r[k];
                d.sats[ser.prn] = true;
                ++d.obs;
                d.three_obs += ser.three;
                d.arcs += k == 0 || r.narch1 != s.r[k - 1].narch1;
                d.gap += r.cycleslip_dt;
                d.d2li += r.cycleslip_d2li;
                d.dbw += r.cycleslip_dbw;
                d.dbew += r.cycleslip_dbew;
                d.dlew_w += r.cycleslip_dlew_w;
                d.lli += ser.v[k].lli;
                d.clean += s.clean[k];
                d.false_alarms += s.clean[k] && r.cycleslip_;
            }
            if (o.kinds.empty()) continue;
            // Clean stretches, cut into pieces; one injection epoch per piece and kind.
            const std::size_t n = ser.v.size();
            std::size_t k = 0;
            while (k < n) {
                if (!s.clean[k]) {
                    ++k;
                    continue;
                }
                // A stretch begins with the observation before the first clean one: that observation is
                // the previous epoch the clean ones continue from.
                const std::size_t a = k - 1;
                std::size_t b = k;
                while (b + 1 < n && s.clean[b + 1]) ++b;
                for (std::size_t c = a; c + static_cast<std::size_t>(o.stretch) - 1 <= b;
                     c += static_cast<std::size_t>(o.stretch)) {
                    const std::size_t e = c + static_cast<std::size_t>(o.stretch) - 1;
                    const std::vector<std::size_t> cand = eligible(s, c, e);
                    if (cand.empty()) continue;
                    std::vector<std::size_t> picks;
                    if (!o.at_sod.empty()) {
                        for (std::size_t x : cand)
                            for (double sod : o.at_sod)
                                if (std::fabs(ser.v[x].sod - sod) < 0.5) picks.push_back(x);
                    } else if (o.at == "random") {
                        picks.push_back(cand[rng.next() % cand.size()]);
                    } else {
                        const std::size_t mid = c + static_cast<std::size_t>(o.stretch) / 2;
                        std::size_t best = cand.front();
                        for (std::size_t x : cand)
                            if ((x > mid ? x - mid : mid - x) < (best > mid ? best - mid : mid - best))
                                best = x;
                        picks.push_back(best);
                    }
                    for (std::size_t x : picks)
                        for (std::size_t ki = 0; ki < o.kinds.size(); ++ki) {
                            inject(ser, s, x, e, o.kinds[ki], inj[ki][{fd.station, ser.v[x].mjd}]);
                            inject(ser, s, x, e, o.kinds[ki], inj_total[ki]);
                        }
                }
                k = b + 1;
            }
        }
        for (auto& [mjd, d] : rows) days.push_back(d);
    }

    std::printf(
        "| station-day | epochs | sats | obs | 3-freq obs | arcs | gap | d2li | dbw | dbew | dlew_w | "
        "LLI | clean obs | false alarms | rate |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    DayRow total;
    for (const DayRow& d : days) {
        const double rate =
            d.clean > 0 ? 100.0 * static_cast<double>(d.false_alarms) / static_cast<double>(d.clean) : 0;
        std::printf("| %s %s | %d | %zu | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | "
                    "%.3f %% |\n",
                    d.station.c_str(), date_of(d.mjd).c_str(), d.epochs, d.sats.size(), d.obs, d.three_obs,
                    d.arcs, d.gap, d.d2li, d.dbw, d.dbew, d.dlew_w, d.lli, d.clean, d.false_alarms, rate);
        total.epochs += d.epochs;
        total.obs += d.obs;
        total.three_obs += d.three_obs;
        total.arcs += d.arcs;
        total.gap += d.gap;
        total.d2li += d.d2li;
        total.dbw += d.dbw;
        total.dbew += d.dbew;
        total.dlew_w += d.dlew_w;
        total.lli += d.lli;
        total.clean += d.clean;
        total.false_alarms += d.false_alarms;
    }
    const double total_rate =
        total.clean > 0 ? 100.0 * static_cast<double>(total.false_alarms) / static_cast<double>(total.clean)
                        : 0;
    std::printf("| total (%zu station-days) | %d | | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | "
                "%ld | %ld | "
                "%.3f %% |\n",
                days.size(), total.epochs, total.obs, total.three_obs, total.arcs, total.gap, total.d2li,
                total.dbw, total.dbew, total.dlew_w, total.lli, total.clean, total.false_alarms, total_rate);
    if (o.kinds.empty()) return 0;

    std::printf("\nInjected slips (one per clean piece of %d epochs, at its %s; seed %llu)\n\n", o.stretch,
                o.at_sod.empty() ? (o.at == "random" ? "random epoch" : "middle") : "given seconds of day",
                static_cast<unsigned long long>(o.seed));
    std::printf(
        "| slip | station-day | injected | flagged | gap | d2li | dbw | dbew | dlew_w | missed | later flags "
        "|\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    auto print_row = [](const std::string& slip, const std::string& where, const InjectRow& r) {
        std::printf("| %s | %s | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld of %ld |\n",
                    slip.c_str(), where.c_str(), r.injected, r.flagged, r.gap, r.d2li, r.dbw, r.dbew,
                    r.dlew_w, r.injected - r.flagged, r.after, r.checked_after);
    };
    for (std::size_t ki = 0; ki < o.kinds.size(); ++ki) {
        const std::string slip = o.kinds[ki].name + " " + std::to_string(o.kinds[ki].cycles) + " cy";
        for (const auto& [key, r] : inj[ki]) print_row(slip, key.first + " " + date_of(key.second), r);
        print_row(slip, "total", inj_total[ki]);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "screening_report: %s\n", e.what());
        return 1;
    }
}
