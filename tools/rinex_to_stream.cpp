// rinex_to_stream: turns RINEX observation files, GPS navigation files and BLQ ocean-loading files into
// the program's input message stream on standard output.
//
//   rinex_to_stream [--nav FILE]... [--blq FILE]... [--system G|E] [--no-l5] OBSFILE...
//
// Per receiver, before its first observation: XYZ, ANT, AND, OT2 (when a --blq file has the station), WLF
// (time-tagged with that epoch), and once for the run a LEA line; then the EPH lines due at the epoch,
// then its OB1 lines. Each GPS navigation record becomes an EPH line written before the first epoch at or
// after its toc minus 2 hours (the start of its usual validity span), records still pending after the last
// epoch are written at the end. Observations of one constellation (GPS by default, Galileo with
// --system E) become OB1 lines, merged epoch by epoch over the receivers (command-line order, then PRN):
// GPS with four observables L1 L2 C1|P1 P2, or six (L1 L2 L5 C1|P1 P2 C5) when the satellite has L5;
// Galileo with six, L1 L7 L5 C1 C7 C5 (E1, E5b, E5a). Epochs of files kept in UTC (GLONASS time) are
// converted to GPS time.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lib/blq.hpp"
#include "lib/rinex.hpp"
#include "lib/screening.hpp"
#include "textio/format.hpp"

namespace {

using namespace quelmar;
namespace rnx = quelmar::tools::rinex;
namespace scr = quelmar::tools::screening;
namespace blq = quelmar::tools::blq;

constexpr int max_receivers = 6; // the program's station registry holds six receivers
constexpr int max_prn = 35;      // and 35 satellite slots

constexpr double f_l1 = 1575.42e6, f_l2 = 1227.60e6, f_l5 = 1176.45e6;   // GPS carriers, Hz
constexpr double f_e1 = 1575.42e6, f_e5b = 1207.14e6, f_e5a = 1176.45e6; // Galileo carriers, Hz

// GPS - UTC in seconds at the start of a UTC month (IERS Bulletin C leap-second dates since the start of
// GPS time, 1980-01-06); -1 before 1980.
int gps_minus_utc(int year, int month) {
    struct Step {
        int year, month, value;
    };
    static constexpr Step steps[] = {{2017, 1, 18}, {2015, 7, 17}, {2012, 7, 16}, {2009, 1, 15},
                                     {2006, 1, 14}, {1999, 1, 13}, {1997, 7, 12}, {1996, 1, 11},
                                     {1994, 7, 10}, {1993, 7, 9},  {1992, 7, 8},  {1991, 1, 7},
                                     {1990, 1, 6},  {1988, 1, 5},  {1985, 7, 4},  {1983, 7, 3},
                                     {1982, 7, 2},  {1981, 7, 1},  {1980, 1, 0}};
    for (const Step& s : steps)
        if (year > s.year || (year == s.year && month >= s.month)) return s.value;
    return -1;
}

double abs_time(const rnx::Time& t) {
    return t.mjd * 86400.0 + t.sod;
}

struct Options {
    std::vector<std::string> navs, blqs, obs;
    char system = 'G'; // G: GPS stream, E: Galileo stream
    bool no_l5 = false;
};

struct Formats {
    textio::Format head_xyz{"(a,5(1x,i2),f5.1,1x,a,1x,3f14.4)"};
    textio::Format head_ant{"(a,5(1x,i2),f5.1,1x,a,1x,a20,a20)"};
    textio::Format head_ot2{"(a,5(1x,i2),f5.1,1x,a,66(1x,e12.4))"};
    textio::Format head_wlf{"(a,5(1x,i2),f5.1,1x,a,1x,9i6)"};
    textio::Format head_lea{"(a,5(1x,i2),f5.1,1x,i6)"};
    textio::Format eph{"(a,i2,1x,i2.2,4(1x,i2),f5.1,3d19.12,7(3x,4d19.12))"};
    textio::Format ob1{"(a,i2,1x,i2,4(1x,i2),f11.7,1x,a,1x,a1,1x,i1,f12.9,i6,4(4x,a2),4(f14.3,i1,i1),"
                       "1x,i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1)"};
    textio::Format ob1_6{"(a,i2,1x,i2,4(1x,i2),f11.7,1x,a,1x,a1,1x,i1,f12.9,i6,6(4x,a2),6(f14.3,i1,i1),"
                         "1x,i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,1x,e15.7,1x,l1,1x,"
                         "e15.7,1x,l1)"};
};

// Which observation types of a file give each observable of the OB1 line: positions in the system's
// type list, in order of preference (per satellite the first one present is taken).
//   first frequency   carrier l1, precise code p1 (GPS only) or other code c1
//   second frequency  carrier l2, code p2 (GPS L2 precise code; Galileo E5b code)
//   third frequency   carrier l3, code c3 (GPS L5, Galileo E5a)
struct Signals {
    std::vector<int> l1, l2, l3, p1, c1, p2, c3;
    const char* code2 = "P2"; // the OB1 name of the second-frequency code
    const char* car2 = "L2";  // and of its carrier
    double f1 = f_l1, f2 = f_l2, f3 = f_l5;
};

// Indices in `types` of `codes` present in the list, in the order of `codes`.
std::vector<int> type_indices(const std::vector<std::string>& types,
                              std::initializer_list<const char*> codes) {
    std::vector<int> out;
    for (const char* c : codes)
        for (std::size_t i = 0; i < types.size(); ++i)
            if (types[i] == c) out.push_back(static_cast<int>(i));
    return out;
}

// The RINEX codes of each observable (the mapping table of docs/tools.md). RINEX 3 GPS: the
// P(Y)/Z-tracking signals as in RINEX 2 files first, then L2C; L5 from the pilot (Q), combined (X) or
// data (I) component. Galileo: E1 C (pilot) before X and B, E5a/E5b Q before X and I.
Signals select_signals(const std::vector<std::string>& t, bool v3, char system, bool no_l5) {
    Signals s;
    if (system == 'E') {
        s.code2 = "C7";
        s.car2 = "L7";
        s.f1 = f_e1;
        s.f2 = f_e5b;
        s.f3 = f_e5a;
        s.l1 = v3 ? type_indices(t, {"L1C", "L1X", "L1B"}) : type_indices(t, {"L1"});
        s.c1 = v3 ? type_indices(t, {"C1C", "C1X", "C1B"}) : type_indices(t, {"C1"});
        s.l2 = v3 ? type_indices(t, {"L7Q", "L7X", "L7I"}) : type_indices(t, {"L7"});
        s.p2 = v3 ? type_indices(t, {"C7Q", "C7X", "C7I"}) : type_indices(t, {"C7"});
        s.l3 = v3 ? type_indices(t, {"L5Q", "L5X", "L5I"}) : type_indices(t, {"L5"});
        s.c3 = v3 ? type_indices(t, {"C5Q", "C5X", "C5I"}) : type_indices(t, {"C5"});
        return s;
    }
    s.l1 = v3 ? type_indices(t, {"L1C", "L1W", "L1P", "L1X"}) : type_indices(t, {"L1"});
    s.l2 = v3 ? type_indices(t, {"L2W", "L2P", "L2L", "L2X", "L2S"}) : type_indices(t, {"L2"});
    s.p1 = v3 ? type_indices(t, {"C1W", "C1P"}) : type_indices(t, {"P1"});
    s.c1 = v3 ? type_indices(t, {"C1C", "C1X"}) : type_indices(t, {"C1"});
    s.p2 = v3 ? type_indices(t, {"C2W", "C2P", "C2L", "C2X", "C2S"}) : type_indices(t, {"P2"});
    if (!no_l5) {
        s.l3 = v3 ? type_indices(t, {"L5Q", "L5X", "L5I"}) : type_indices(t, {"L5"});
        s.c3 = v3 ? type_indices(t, {"C5Q", "C5X", "C5I"}) : type_indices(t, {"C5"});
    }
    return s;
}

struct Receiver {
    rnx::ObsReader reader;
    rnx::ObsEpoch epoch;
    bool have_epoch = false;
    bool headers_written = false;
    bool utc = false; // epochs in UTC (GLONASS time): converted to GPS time
    std::string name; // 4 characters
    Signals sig;
    bool has_types = false;            // the file has the types of a complete OB1 line
    const blq::Station* otl = nullptr; // its ocean-loading coefficients, when a --blq file has them
    std::map<int, scr::PairState> pairs;
    std::map<int, int> nfreq;       // frequencies of each satellite's last OB1 line (2 or 3)
    std::set<int> prn_out_of_range; // satellites the program's tables cannot hold
};

void emit(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}

int yy(int year) {
    return year % 100;
}

// The f5.1 seconds of a metadata time tag, never rounded up to 60.
double tag_seconds(const rnx::Time& t) {
    return std::floor(t.sec * 10.0 + 1e-6) / 10.0;
}

void write_headers(const Formats& f, const Receiver& r, const rnx::Time& t, char system) {
    const rnx::ObsHeader& h = r.reader.header();
    const int y = yy(t.year);
    const double s = tag_seconds(t);
    emit(f.head_xyz.write(std::string("XYZ   "), y, t.month, t.day, t.hour, t.minute, s, r.name,
                          h.approx_xyz[0], h.approx_xyz[1], h.approx_xyz[2]));
    std::string serial = h.antenna_serial; // a20 would right-justify a shorter item
    serial.resize(20, ' ');
    std::string type = h.antenna_model;
    type.resize(16, ' ');
    type += h.radome.empty() || rnx::detail::trim(h.radome).empty() ? std::string("NONE") : h.radome;
    emit(f.head_ant.write(std::string("ANT   "), y, t.month, t.day, t.hour, t.minute, s, r.name, serial,
                          type));
    emit(f.head_xyz.write(std::string("AND   "), y, t.month, t.day, t.hour, t.minute, s, r.name,
                          h.delta_hen[0], h.delta_hen[1], h.delta_hen[2]));
    if (r.otl != nullptr) {
        // The BLQ rows in file order are the OT2 payload: amplitudes up, west, south, then the phase lags
        // in the same order, each row in the constituent order M2 S2 N2 K2 K1 O1 P1 Q1 Mf Mm Ssa.
        std::vector<double> v;
        for (const auto& row : r.otl->amplitude) v.insert(v.end(), row.begin(), row.end());
        for (const auto& row : r.otl->phase) v.insert(v.end(), row.begin(), row.end());
        emit(f.head_ot2.write(std::string("OT2   "), y, t.month, t.day, t.hour, t.minute, s, r.name, v));
    }
    // Wavelength factors per carrier slot (band digit). RINEX 2 phases are whole cycles even for
    // half-wavelength (squaring) tracking; the factor says the ambiguity is then a half cycle. The file's
    // default factors go to slots 1 and 2; the third carrier of the stream, when the file has one, is 1.
    std::array<int, 9> w{};
    if (system == 'E') {
        w[0] = w[4] = w[6] = 1;
    } else {
        w[0] = h.version < 3 ? h.wavelength_factor[0] : 1;
        w[1] = h.version < 3 ? h.wavelength_factor[1] : 1;
        if (!r.sig.l3.empty() && !r.sig.c3.empty()) w[4] = 1;
    }
    emit(f.head_wlf.write(std::string("WLF   "), y, t.month, t.day, t.hour, t.minute, s, r.name, w));
}

void write_eph(const Formats& f, const rnx::GpsNavRecord& n) {
    const auto& o = n.orbit;
    emit(f.eph.write(std::string("EPH "), n.prn, yy(n.toc.year), n.toc.month, n.toc.day, n.toc.hour,
                     n.toc.minute, n.toc.sec, n.clock[0], n.clock[1], n.clock[2], o[0][0], o[0][1], o[0][2],
                     o[0][3], o[1][0], o[1][1], o[1][2], o[1][3], o[2][0], o[2][1], o[2][2], o[2][3], o[3][0],
                     o[3][1], o[3][2], o[3][3], o[4][0], o[4][1], o[4][2], o[4][3], o[5][0], o[5][1], o[5][2],
                     o[5][3], o[6][0], o[6][1], o[6][2], o[6][3]));
}

void write_observations(const Formats& f, Receiver& r, char system) {
    if (!r.has_types) return;
    const Signals& sig = r.sig;
    const rnx::ObsEpoch& e = r.epoch;
    std::vector<const rnx::SatObs*> sats;
    for (const rnx::SatObs& s : e.sats)
        if (s.system == system) {
            if (s.prn >= 1 && s.prn <= max_prn)
                sats.push_back(&s);
            else
                r.prn_out_of_range.insert(s.prn);
        }
    std::stable_sort(sats.begin(), sats.end(), [](auto a, auto b) { return a->prn < b->prn; });
    const rnx::Time& t = e.time;
    const double clock = e.has_clock ? e.clock_offset : 0.0;
    const std::string ksat(1, system);
    for (const rnx::SatObs* s : sats) {
        // The first present value of the candidates. A value F14.3 cannot hold is treated as missing
        // rather than written as asterisks.
        auto get = [&](const std::vector<int>& candidates) -> const rnx::ObsValue* {
            for (int i : candidates) {
                if (static_cast<std::size_t>(i) >= s->values.size()) continue;
                const rnx::ObsValue& v = s->values[static_cast<std::size_t>(i)];
                if (v.present && std::fabs(v.value) < 9.9e9) return &v;
            }
            return nullptr;
        };
        const rnx::ObsValue* l1 = get(sig.l1);
        const rnx::ObsValue* l2 = get(sig.l2);
        const rnx::ObsValue* p2 = get(sig.p2);
        const rnx::ObsValue* c1 = get(sig.p1);
        std::string c1code = "P1";
        if (c1 == nullptr) {
            c1 = get(sig.c1);
            c1code = "C1";
        }
        const rnx::ObsValue* l3 = get(sig.l3);
        const rnx::ObsValue* c3 = get(sig.c3);
        const bool three = l3 != nullptr && c3 != nullptr;
        if (!l1 || !l2 || !p2 || !c1 || (system == 'E' && !three)) continue;
        scr::Observation ob;
        ob.t = abs_time(t);
        ob.l1 = l1->value;
        ob.l2 = l2->value;
        ob.p1 = c1->value;
        ob.p2 = p2->value;
        ob.f1 = sig.f1;
        ob.f2 = sig.f2;
        if (three) {
            ob.l3 = l3->value;
            ob.p3 = c3->value;
            ob.f3 = sig.f3;
        }
        scr::PairState& ps = r.pairs[s->prn];
        // A satellite whose third frequency comes or goes starts a new arc: the running means of the
        // extra-wide lane would otherwise mix observations with and without it.
        const int nf = three ? 3 : 2;
        auto [it, fresh] = r.nfreq.try_emplace(s->prn, nf);
        if (!fresh && it->second != nf) scr::force_new_arc(ps);
        it->second = nf;
        const int arc_before = ps.narch;
        const scr::ScreeningResult res = scr::screen_observation(ps, ob, scr::ScreeningOptions{});
        // The start of every arc, the first one included, is flagged so the reader resets its state.
        const bool slip = res.cycleslip_ || res.narch1 != arc_before;
        auto ind = [](const rnx::ObsValue* v) { return std::array<int, 2>{v->lli % 10, v->ssi % 10}; };
        const auto i1 = ind(l1), i2 = ind(l2), ic1 = ind(c1), ip2 = ind(p2);
        if (!three) {
            emit(f.ob1.write(std::string("OB1 "), s->prn, yy(t.year), t.month, t.day, t.hour, t.minute, t.sec,
                             r.name, ksat, e.flag, clock, 4, std::string("L1"), std::string(sig.car2), c1code,
                             std::string(sig.code2), l1->value, i1[0], i1[1], l2->value, i2[0], i2[1],
                             c1->value, ic1[0], ic1[1], p2->value, ip2[0], ip2[1], res.narch1, slip,
                             res.dtsec_ob1, res.cycleslip_dt, res.d2li, res.cycleslip_d2li, res.xli_lir,
                             res.dbw, res.cycleslip_dbw));
            continue;
        }
        const auto i3 = ind(l3), ic3 = ind(c3);
        emit(f.ob1_6.write(std::string("OB1 "), s->prn, yy(t.year), t.month, t.day, t.hour, t.minute, t.sec,
                           r.name, ksat, e.flag, clock, 6, std::string("L1"), std::string(sig.car2),
                           std::string("L5"), c1code, std::string(sig.code2), std::string("C5"), l1->value,
                           i1[0], i1[1], l2->value, i2[0], i2[1], l3->value, i3[0], i3[1], c1->value, ic1[0],
                           ic1[1], p2->value, ip2[0], ip2[1], c3->value, ic3[0], ic3[1], res.narch1, slip,
                           res.dtsec_ob1, res.cycleslip_dt, res.d2li, res.cycleslip_d2li, res.xli_lir,
                           res.dbw, res.cycleslip_dbw, res.dbew, res.cycleslip_dbew, res.dlew_w,
                           res.cycleslip_dlew_w));
    }
}

// Reads the next observation epoch of `r`, in GPS time. Cycle-slip records (flag 6) are not epochs of
// their own: each satellite they list starts a new arc at its next observation.
void advance(Receiver& r, char system) {
    r.have_epoch = false;
    while (r.reader.next(r.epoch)) {
        if (r.epoch.flag == 6) {
            for (const rnx::SatObs& s : r.epoch.sats) {
                if (s.system != system) continue;
                auto it = r.pairs.find(s.prn);
                if (it != r.pairs.end()) scr::force_new_arc(it->second);
            }
            continue;
        }
        if (r.utc) {
            const rnx::Time& t = r.epoch.time;
            const int leap = gps_minus_utc(t.year, t.month);
            if (leap < 0)
                throw rnx::Error(r.reader.path(), r.epoch.line,
                                 "epoch before 1980: no GPS time for a UTC (GLONASS time) file");
            r.epoch.time = rnx::add_seconds(t, leap);
        }
        r.have_epoch = true;
        return;
    }
}

const char* const usage = "usage: rinex_to_stream [--nav FILE]... [--blq FILE]... [--system G|E] [--no-l5] "
                          "OBSFILE...\n";

// Reads the command line into `o`; 0 when it is good, else the exit status (message written).
int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--nav" || a == "--blq" || a == "--system") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "rinex_to_stream: %s needs %s\n", a.c_str(),
                             a == "--system" ? "G or E" : "a file name");
                return 2;
            }
            const std::string v = argv[++i];
            if (a == "--nav") o.navs.push_back(v);
            if (a == "--blq") o.blqs.push_back(v);
            if (a == "--system") {
                if (v != "G" && v != "E") {
                    std::fprintf(stderr, "rinex_to_stream: --system takes G (GPS) or E (Galileo), not %s\n",
                                 v.c_str());
                    return 2;
                }
                o.system = v[0];
            }
        } else if (a == "--no-l5") {
            o.no_l5 = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "rinex_to_stream: unknown option %s\n", a.c_str());
            return 2;
        } else {
            o.obs.push_back(a);
        }
    }
    if (o.obs.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (o.obs.size() > static_cast<std::size_t>(max_receivers)) {
        std::fprintf(stderr,
                     "rinex_to_stream: %zu observation files: the program takes at most %d receivers in one "
                     "stream\n",
                     o.obs.size(), max_receivers);
        return 2;
    }
    return 0;
}

int run(int argc, char** argv) {
    Options opt;
    if (const int st = parse(argc, argv, opt); st != 0) return st;
    const Formats f;
    std::vector<rnx::GpsNavRecord> nav;
    if (opt.system == 'E' && !opt.navs.empty())
        std::fprintf(stderr,
                     "rinex_to_stream: note: --nav files are not used for a Galileo stream (the "
                     "program reads GPS broadcast orbits only; a Galileo run needs precise orbits)\n");
    for (const std::string& p : opt.navs) {
        rnx::NavReader nr;
        nr.open(p);
        if (opt.system != 'G') continue;
        rnx::GpsNavRecord rec;
        std::set<int> out_of_range; // PRNs the program's tables cannot hold: refused there, left out here
        while (nr.next(rec)) {
            if (rec.prn >= 1 && rec.prn <= max_prn)
                nav.push_back(rec);
            else
                out_of_range.insert(rec.prn);
        }
        if (!out_of_range.empty()) {
            std::string list;
            for (int prn : out_of_range) list += " " + std::to_string(prn);
            std::fprintf(stderr, "rinex_to_stream: note: %s: navigation records left out, PRN outside 1..%d:%s\n",
                         p.c_str(), max_prn, list.c_str());
        }
    }
    std::stable_sort(nav.begin(), nav.end(), [](const auto& a, const auto& b) {
        const double ta = abs_time(a.toc), tb = abs_time(b.toc);
        return ta != tb ? ta < tb : a.prn < b.prn;
    });
    std::vector<std::vector<blq::Station>> otl;
    for (const std::string& p : opt.blqs) otl.push_back(blq::read_file(p));

    std::vector<std::unique_ptr<Receiver>> recs;
    for (const std::string& p : opt.obs) {
        auto r = std::make_unique<Receiver>();
        r->reader.open(p);
        const rnx::ObsHeader& h = r->reader.header();
        r->name = h.marker;
        r->name.resize(4, ' ');
        for (const auto& o : recs)
            if (o->name == r->name) {
                std::fprintf(stderr, "rinex_to_stream: %s: marker %s already given by %s\n", p.c_str(),
                             r->name.c_str(), o->reader.path().c_str());
                return 1;
            }
        if (h.time_system == "GLO" || h.time_system == "UTC")
            r->utc = true;
        else if (h.time_system != "GPS" && h.time_system != "GAL")
            throw rnx::Error(p, h.time_system_line,
                             "time system " + h.time_system +
                                 " not supported (GPS and GAL are taken as they are, GLO and UTC are "
                                 "converted to GPS time)");
        if (const std::vector<std::string>* types = h.types_for(opt.system)) {
            r->sig = select_signals(*types, h.version >= 3, opt.system, opt.no_l5);
            const Signals& s = r->sig;
            r->has_types = !s.l1.empty() && !s.l2.empty() && !s.p2.empty() &&
                           !(s.p1.empty() && s.c1.empty()) &&
                           (opt.system != 'E' || (!s.l3.empty() && !s.c3.empty()));
        }
        if (!r->has_types)
            std::fprintf(stderr, "rinex_to_stream: note: %s lacks the observation types of a %s OB1 line\n",
                         p.c_str(), opt.system == 'E' ? "Galileo" : "GPS");
        std::string odd;
        for (const auto& [sat, fac] : h.wavelength_sats)
            if (fac != h.wavelength_factor) odd += " " + sat;
        if (!odd.empty())
            std::fprintf(stderr,
                         "rinex_to_stream: note: %s: satellites with their own wavelength factors:%s (their "
                         "phases are whole cycles as RINEX 2 stores them; WLF carries the default factors)\n",
                         p.c_str(), odd.c_str());
        if (!opt.blqs.empty()) {
            for (const auto& stations : otl)
                if ((r->otl = blq::find(stations, r->name)) != nullptr) break;
            if (r->otl == nullptr)
                std::fprintf(stderr,
                             "rinex_to_stream: note: no ocean-loading coefficients for %s in the --blq "
                             "files: no OT2 line\n",
                             r->name.c_str());
        }
        advance(*r, opt.system);
        recs.push_back(std::move(r));
    }
    std::size_t next_nav = 0;
    bool lea_done = false;
    for (;;) {
        const Receiver* first = nullptr;
        for (const auto& r : recs)
            if (r->have_epoch && (!first || abs_time(r->epoch.time) < abs_time(first->epoch.time)))
                first = r.get();
        if (first == nullptr) break;
        const rnx::Time t = first->epoch.time;
        const double now = abs_time(t);
        bool new_receiver = false;
        for (auto& r : recs)
            if (r->have_epoch && std::fabs(abs_time(r->epoch.time) - now) < 1e-3 && !r->headers_written) {
                write_headers(f, *r, t, opt.system);
                r->headers_written = new_receiver = true;
            }
        if (new_receiver && !lea_done) {
            int leap = -1;
            for (const auto& r : recs)
                if (leap < 0 && r->reader.header().has_leap_seconds) leap = r->reader.header().leap_seconds;
            if (leap < 0) leap = gps_minus_utc(t.year, t.month);
            if (leap >= 0)
                emit(f.head_lea.write(std::string("LEA   "), yy(t.year), t.month, t.day, t.hour, t.minute,
                                      tag_seconds(t), leap));
            lea_done = true;
        }
        while (next_nav < nav.size() && abs_time(nav[next_nav].toc) - 7200.0 <= now + 1e-3)
            write_eph(f, nav[next_nav++]);
        for (auto& r : recs)
            if (r->have_epoch && std::fabs(abs_time(r->epoch.time) - now) < 1e-3) {
                write_observations(f, *r, opt.system);
                advance(*r, opt.system);
            }
    }
    while (next_nav < nav.size()) write_eph(f, nav[next_nav++]);
    for (const auto& r : recs)
        if (!r->prn_out_of_range.empty()) {
            std::string list;
            for (int p : r->prn_out_of_range) list += " " + std::to_string(p);
            std::fprintf(stderr, "rinex_to_stream: note: %s: satellites left out, numbers above %d:%s\n",
                         r->reader.path().c_str(), max_prn, list.c_str());
        }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "rinex_to_stream: error writing standard output\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "rinex_to_stream: %s\n", e.what());
        return 1;
    }
}
