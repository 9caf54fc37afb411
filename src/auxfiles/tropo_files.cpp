#include "auxfiles/tropo_files.hpp"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "frame/files.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "orbits/timescales.hpp"
#include "textio/format.hpp"
#include "textio/listread.hpp"

namespace quelmar::auxfiles {

namespace {

[[noreturn]] void cannot_open(const std::string& vfile, frame::Log& log) {
    log.list("ERROR opening vfile = ", vfile);
    throw frame::Stop("ERROR opening vfile");
}

// `why` says what was wrong, for the user who has to mend the file.
[[noreturn]] void cannot_read(const std::string& vfile, const std::string& why, frame::Log& log) {
    log.list("ERROR reading vfile = ", vfile);
    log.list(why);
    throw frame::Stop("ERROR reading vfile");
}

bool read_whole_file(const std::string& vfile, std::string& text) {
    std::ifstream f;
    if (!frame::open_existing_file(vfile, f)) return false;
    text.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

// The lines of a text, each without its newline (and without a carriage return before it).
std::vector<std::string_view> lines_of(const std::string& text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t len = end - start;
        if (len > 0 && text[start + len - 1] == '\r') --len;
        lines.emplace_back(text.data() + start, len);
        start = end + 1;
    }
    return lines;
}

bool blank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

// A record as a fixed-length character read sees it: cut, or blank-padded, to n characters.
std::string fixed(std::string_view line, std::size_t n) {
    std::string s(line.substr(0, n));
    s.resize(n, ' ');
    return s;
}

// The 44 values of a grid line in the common case: at least 44 plain decimal numbers separated by
// blanks or tabs, which a free-form read takes exactly as from_chars does (correctly rounded). Anything
// else (separating commas, slashes, repeat counts, Fortran exponents, too few values on the line) is
// left to the free-form reader. Returns false then.
bool plain_values(std::string_view line, std::array<double, 44>& v) {
    const char* p = line.data();
    const char* end = p + line.size();
    for (double& x : v) {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        const char* q = p;
        while (q < end && *q != ' ' && *q != '\t') {
            const char ch = *q;
            if (!((ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == 'e' || ch == 'E' || ch == '+'))
                return false;
            ++q;
        }
        if (q == p || *p == '+') return false;
        const auto r = std::from_chars(p, q, x);
        if (r.ec != std::errc() || r.ptr != q) return false;
        p = q;
    }
    // A value separator ends the last number; a comma or slash after it is the free-form reader's.
    return p == end || *p == ' ' || *p == '\t';
}

void store_point(const std::array<double, 44>& v, models::Gpt2wPoint& g) {
    for (int m = 0; m < 5; ++m) {
        g.p[m] = v[2 + m];                  // Pa
        g.t[m] = v[7 + m];                  // K
        g.q[m] = v[12 + m] / 1000.0;        // g/kg to kg/kg
        g.dt[m] = v[17 + m] / 1000.0;       // K/km to K/m
        g.ah[m] = v[24 + m] / 1000.0;
        g.aw[m] = v[29 + m] / 1000.0;
        g.la[m] = v[34 + m];
        g.tm[m] = v[39 + m];                // K
    }
    g.u = v[22];
    g.hs = v[23];
}

bool all_finite(const std::array<double, 44>& v) {
    for (double x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

} // namespace

std::string vmf_grid_file_name(std::int32_t iyear, std::int32_t idoy, std::int32_t hour) {
    static const textio::Format name_format("(a,i4,i3.3,i2.2)");
    return name_format.write("VMFG_", iyear, idoy, hour);
}

std::string vmf_site_file_name(std::int32_t iyear, std::int32_t idoy) {
    static const textio::Format name_format("(i4,i3.3,a)");
    return name_format.write(iyear, idoy, ".vmf1");
}

void read_tuv_tropo_grid(const std::string& vfile, models::Gpt2wGrid& grid, frame::Log& log) {
    std::ifstream f;
    if (!frame::open_existing_file(vfile, f)) cannot_open(vfile, log);
    const int npoints = grid.nlat * grid.nlon;
    grid.points.assign(static_cast<std::size_t>(npoints), models::Gpt2wPoint{});
    std::string line;
    if (!std::getline(f, line)) {
        grid.points.clear();
        cannot_read(vfile, "the file is empty", log);
    }
    // After the header, each point is one free-form read. The file is read line by line (the table is
    // all that stays in memory) and plain lines are parsed here; from the first line that is not plain
    // on, the free-form reader takes over the rest of the file from the start of that line.
    std::array<double, 44> v{};
    int n = 0;
    for (; n < npoints; ++n) {
        const std::streampos at = f.tellg();
        if (!std::getline(f, line)) break;
        std::string_view l(line);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (!plain_values(l, v)) {
            f.clear();
            f.seekg(at);
            break;
        }
        if (!all_finite(v)) {
            grid.points.clear();
            cannot_read(vfile, "grid point " + std::to_string(n + 1) + " of " + std::to_string(npoints) + ": a value is not finite", log);
        }
        store_point(v, grid.points[static_cast<std::size_t>(n)]);
    }
    if (n < npoints) {
        f.clear();
        textio::ListReader r(f);
        for (; n < npoints; ++n) {
            const textio::ReadStatus s = r.read_numbers(v);
            if (!s.ok()) {
                grid.points.clear();
                cannot_read(vfile,
                            "grid point " + std::to_string(n + 1) + " of " + std::to_string(npoints) +
                                (s.iostat == textio::IoStat::end_of_file ? ": the file ends before it"
                                                                         : ": " + s.message),
                            log);
            }
            store_point(v, grid.points[static_cast<std::size_t>(n)]);
        }
    }
}

void read_tuv_tropo_files(std::int32_t iyearobs, std::int32_t idoyobs, models::VmfGrid& grid, frame::Log& log) {
    grid = models::VmfGrid{};
    std::vector<char> filled;
    for (int k = 1; k <= 5; ++k) {
        const std::string vfile = vmf_grid_file_name(iyearobs, idoyobs, (k - 1) * 6);
        log.list("[read_tuv_tropo_file]: reading vfile= ", vfile);
        std::string text;
        if (!read_whole_file(vfile, text)) cannot_open(vfile, log);
        bool have_header = false;
        std::size_t nfilled = 0;
        int nline = 0;
        for (std::string_view raw : lines_of(text)) {
            ++nline;
            const std::string line = fixed(raw, 80);
            const std::string where = "line " + std::to_string(nline);
            if (line[0] == '!') {
                if (line.compare(2, 17, "Range/resolution:") != 0) continue;
                double latf = 0, lat0 = 0, lon0 = 0, lonf = 0, dlat = 0, dlon = 0;
                textio::ListReader r(line.substr(22, 19));
                if (!r.read_numbers(latf, lat0, lon0, lonf, dlat, dlon).ok())
                    cannot_read(vfile, where + ": the range/resolution comment needs six numbers in columns 23-41", log);
                log.list("lat0,latf,lon0,lonf,Delta_lat0,Delta_lon ", lat0, latf, lon0, lonf, dlat, dlon);
                if (!(dlat > 0 && dlon > 0 && lat0 >= latf && lonf >= lon0 && lat0 - latf <= 180 &&
                      lonf - lon0 <= 360))
                    cannot_read(vfile, where + ": the grid limits or spacings make no grid", log);
                const int nrow = static_cast<int>(std::lround((lat0 - latf) / dlat)) + 1;
                // A range of 360 degrees in longitude closes on itself: its last meridian is the first.
                const bool closed = std::fabs(lonf - lon0 - 360.0) < 1e-9;
                const int ncol = static_cast<int>(std::lround((lonf - lon0) / dlon)) + (closed ? 0 : 1);
                if (nrow < 2 || ncol < 2)
                    cannot_read(vfile, where + ": a grid needs two rows and two columns at least", log);
                if (!grid.loaded()) {
                    grid.latf = latf, grid.lat0 = lat0, grid.lon0 = lon0, grid.lonf = lonf;
                    grid.delta_lat = dlat, grid.delta_lon = dlon;
                    grid.nrow = nrow, grid.ncol = ncol;
                    const std::size_t size = static_cast<std::size_t>(5) * nrow * ncol;
                    grid.ah.assign(size, 0.0);
                    grid.aw.assign(size, 0.0);
                } else if (latf != grid.latf || lat0 != grid.lat0 || lon0 != grid.lon0 || lonf != grid.lonf ||
                           dlat != grid.delta_lat || dlon != grid.delta_lon) {
                    cannot_read(vfile, where + ": the grid differs from that of the day's first file", log);
                }
                have_header = true;
                filled.assign(static_cast<std::size_t>(grid.nrow) * grid.ncol, 0);
                continue;
            }
            if (blank(line)) continue;
            double lat = 0, lon = 0, ah = 0, aw = 0, zhd = 0, zwd = 0;
            textio::ListReader r(line);
            if (!r.read_numbers(lat, lon, ah, aw, zhd, zwd).ok())
                cannot_read(vfile, where + ": latitude, longitude, ah, aw and the two zenith delays expected", log);
            if (!have_header) cannot_read(vfile, where + ": a grid value before the range/resolution comment", log);
            const double fi = (lat - grid.lat0) / (-grid.delta_lat);
            double fj = (lon - grid.lon0) / grid.delta_lon;
            // On a closed grid the meridian of lon0 + 360 degrees is that of lon0.
            if (grid.ncol * grid.delta_lon >= 360.0 - 1e-9 && fj >= grid.ncol && fj < grid.ncol + 1) fj -= grid.ncol;
            if (!(fi > -1 && fi < grid.nrow && fj > -1 && fj < grid.ncol))
                cannot_read(vfile, where + ": the point lies outside the grid", log);
            const int i = static_cast<int>(fi) + 1, j = static_cast<int>(fj) + 1;
            if (i < 1 || j < 1) cannot_read(vfile, where + ": the point lies outside the grid", log);
            grid.ah_at(j, i, k) = ah;
            grid.aw_at(j, i, k) = aw;
            char& f = filled[static_cast<std::size_t>(i - 1) * grid.ncol + (j - 1)];
            nfilled += f == 0;
            f = 1;
        }
        if (!have_header) cannot_read(vfile, "no range/resolution comment", log);
        if (nfilled != filled.size())
            cannot_read(vfile,
                        std::to_string(filled.size() - nfilled) + " of the " + std::to_string(filled.size()) +
                            " grid points have no line",
                        log);
    }
}

void read_tuv_tropo_files_igs_sites(std::int32_t iyearobs, std::int32_t idoyobs, VmfSiteFile& s,
                                    frame::Log& log) {
    s = VmfSiteFile{};
    const std::string vfile = vmf_site_file_name(iyearobs, idoyobs);
    std::string text;
    if (!read_whole_file(vfile, text)) cannot_open(vfile, log);
    int nline = 0;
    for (std::string_view raw : lines_of(text)) {
        ++nline;
        const std::string line = fixed(raw, 99);
        if (blank(line)) continue; // blank lines, as at the end of a file, hold no site
        std::string site(4, ' ');
        double v[10];
        textio::ListReader r(line);
        if (!r.read_numbers(site, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]).ok())
            cannot_read(vfile, "line " + std::to_string(nline) + ": a site and ten numbers expected", log);
        std::string shown(raw.substr(0, 99));
        while (!shown.empty() && (shown.back() == ' ' || shown.back() == '\t')) shown.pop_back();
        log.list("site = ", shown);
        s.rec_vmfg.push_back(site);
        s.ah_vmfg_igs_site.push_back(v[1]);
        s.aw_vmfg_igs_site.push_back(v[2]);
    }
    log.list("kon subr ", s.kon());
}

void load_troposphere_day(std::int32_t itropo_model, std::int32_t iyearobs, std::int32_t idoyobs,
                          TropoTables& t, frame::Log& log) {
    if (!t.gpt2w.loaded()) read_tuv_tropo_grid(gpt2w_grid_file_name, t.gpt2w, log);
    if (itropo_model == 3) read_tuv_tropo_files(iyearobs, idoyobs, t.vmf, log);
    if (itropo_model == 4) {
        read_tuv_tropo_files_igs_sites(iyearobs, idoyobs, t.sites, log);
        std::int32_t y = iyearobs, d = idoyobs + 1;
        if (d > (orbits::is_gregorian_leap(y) ? 366 : 365)) ++y, d = 1;
        read_tuv_tropo_files_igs_sites(y, d, t.sites_fd, log);
        t.sites_loaded = true;
        t.sites_missing.clear();
    }
}

void select_site_coefficients(TropoTables& t, const std::string& rec, double tsecdayobs, frame::Log& log) {
    const VmfSiteFile& a = t.sites;
    const VmfSiteFile& b = t.sites_fd;
    // The first line of each site's block of four (0, 6, 12, 18 h).
    int n = -1;
    for (int l = 0; l + 3 < a.kon(); l += 4)
        if (a.rec_vmfg[static_cast<std::size_t>(l)] == rec) {
            n = l;
            break;
        }
    if (n < 0) {
        if (t.sites_missing.insert(rec).second)
            log.list("WARNING: site " + rec + " not in the VMF1 site file: it keeps the coefficients of the "
                     "observation before it");
        return;
    }
    const double f = tsecdayobs / 86400.0;
    const auto un = static_cast<std::size_t>(n);
    if (f < 0.75) {
        const std::size_t e = un + (f < 0.25 ? 0 : f < 0.5 ? 1 : 2);
        t.ah_6hs_epoch = a.ah_vmfg_igs_site[e], t.aw_6hs_epoch = a.aw_vmfg_igs_site[e];
        t.ah_6hs_fe = a.ah_vmfg_igs_site[e + 1], t.aw_6hs_fe = a.aw_vmfg_igs_site[e + 1];
    } else {
        // 18 h of the day and 0 h of the next day, at the same place of the next day's file.
        if (a.kon() != b.kon()) log.list("WARNING: files from TUV contain different sites ", a.kon(), b.kon());
        if (n >= b.kon()) return;
        t.ah_6hs_epoch = a.ah_vmfg_igs_site[un + 3], t.aw_6hs_epoch = a.aw_vmfg_igs_site[un + 3];
        t.ah_6hs_fe = b.ah_vmfg_igs_site[un], t.aw_6hs_fe = b.aw_vmfg_igs_site[un];
    }
    if (log.silent) return;
    log.list(" read files for IGS");
    log.list(" rec = ", rec, "  index = ", n + 1);
    log.list("a_.00=", a.ah_vmfg_igs_site[un], a.aw_vmfg_igs_site[un]);
    log.list("a_.25=", a.ah_vmfg_igs_site[un + 1], a.aw_vmfg_igs_site[un + 1]);
    log.list("a_.5=", a.ah_vmfg_igs_site[un + 2], a.aw_vmfg_igs_site[un + 2]);
    log.list("a_.75=", a.ah_vmfg_igs_site[un + 3], a.aw_vmfg_igs_site[un + 3]);
    if (n < b.kon()) log.list("a_1=", b.ah_vmfg_igs_site[un], b.aw_vmfg_igs_site[un]);
    log.list(" a = ", t.ah_6hs_epoch, t.aw_6hs_epoch, t.ah_6hs_fe, t.aw_6hs_fe);
}

} // namespace quelmar::auxfiles
