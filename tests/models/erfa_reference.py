# Reference values from ERFA (Debian's python3-erfa) for the time-scale, Sun/Moon and geometry tests.
# Usage: erfa_reference.py IN OUT. Each input line is a kind letter and its arguments; output line k
# holds the values for input line k. Exit status 3 when numpy or erfa is missing.
#   C y m d            -> djm0 djm                      calendar to two-part Julian date (cal2jd)
#   D y m d fd         -> TAI-UTC (s)                   (dat)
#   G ut1_mjd          -> GMST (rad)                    IAU 1982 (gmst82)
#   L gps_mjd          -> GPS-UTC (s)                   TAI-UTC at the UTC of GPS time, minus 19 s
#   P utc_mjd x y z    -> Sun ux uy uz dist, Moon ux uy uz dist: topocentric apparent direction in the
#                         Earth-fixed frame and distance (m) from the receiver x y z (m)
#   S year doy frac    -> Sun x y z, Moon x y z (km): geocentric geometric, Earth-fixed, at UT
#   E x y z sx sy sz   -> lon lat h (deg, m) on WGS84 and elevation, azimuth (deg) of s seen from x
import sys, warnings
try:
    import numpy as np
    import erfa
    erfa.moon98
except (ImportError, AttributeError) as e:
    print("no usable erfa:", e, file=sys.stderr)
    sys.exit(3)
warnings.simplefilter("ignore")  # a "dubious year" status comes as a warning
AU_M, C = 149597870700.0, 299792458.0
recs = [l.split() for l in open(sys.argv[1]) if l.strip()]
out = [""] * len(recs)


def rows(kind):
    i = [k for k, r in enumerate(recs) if r[0] == kind]
    return i, np.array([[float(x) for x in recs[k][1:]] for k in i]) if i else None


def put(i, values):
    for n, k in enumerate(i):
        out[k] = " ".join(repr(float(x)) for x in values[n])


def mv(m, v): return np.einsum("nij,nj->ni", m, v)


def bodies(d1, d2):  # geocentric Sun and Moon, GCRS, AU and AU/s
    pvh, _ = erfa.epv00(d1, d2)
    pm = erfa.moon98(d1, d2)
    return (-pvh["p"], -pvh["v"] / 86400.0), (pm["p"], pm["v"] / 86400.0)


i, a = rows("C")
if i:
    d0, d = erfa.cal2jd(*(a[:, k].astype(np.int32) for k in range(3)))
    put(i, np.stack([d0, d], axis=1))
i, a = rows("D")
if i:
    put(i, erfa.dat(*(a[:, k].astype(np.int32) for k in range(3)), a[:, 3])[:, None])
i, a = rows("G")
if i:
    put(i, erfa.gmst82(2400000.5, a[:, 0])[:, None])
i, a = rows("L")
if i:
    u1, u2 = erfa.taiutc(2400000.5, a[:, 0] + 19.0 / 86400.0)
    put(i, (np.round(erfa.dat(*erfa.jd2cal(u1, u2))) - 19.0)[:, None])
for kind in "PS":
    i, a = rows(kind)
    if not i:
        continue
    if kind == "P":
        utc = a[:, 0]
    else:
        _, mjd0 = erfa.cal2jd(a[:, 0].astype(np.int32), 1, 1)
        utc = mjd0 + a[:, 1] - 1.0 + a[:, 2]
    t1, t2 = erfa.taitt(*erfa.utctai(2400000.5, utc))
    c2t = erfa.c2t06a(t1, t2, 2400000.5, utc, 0.0, 0.0)  # UT1 taken as UTC, no polar motion
    res = []
    for p, v in bodies(t1, t2):
        if kind == "S":
            res.append(mv(c2t, p) * AU_M / 1000.0)
            continue
        # Seen from the receiver: its GCRS position and velocity, light time, then Earth-fixed.
        rec = a[:, 1:4]
        obs = mv(np.transpose(c2t, (0, 2, 1)), rec) / AU_M
        ovel = np.cross(np.array([0.0, 0.0, 7.292115e-5]), obs)  # the rotation of the receiver, AU/s
        rel = p - obs
        r = np.linalg.norm(rel, axis=1)
        rel = mv(c2t, rel - (r * AU_M / C)[:, None] * (v - ovel))
        res += [rel / np.linalg.norm(rel, axis=1)[:, None], (r * AU_M)[:, None]]
    put(i, np.concatenate(res, axis=1))
i, a = rows("E")
if i:
    rec, sat = a[:, 0:3], a[:, 3:6]
    lon, lat, h = erfa.gc2gd(1, rec)  # WGS84
    sl, cl, sp, cp = np.sin(lon), np.cos(lon), np.sin(lat), np.cos(lat)
    d = sat - rec
    e = -sl * d[:, 0] + cl * d[:, 1]
    n = -sp * cl * d[:, 0] - sp * sl * d[:, 1] + cp * d[:, 2]
    u = cp * cl * d[:, 0] + cp * sl * d[:, 1] + sp * d[:, 2]
    put(i, np.stack([np.degrees(lon) % 360.0, np.degrees(lat), h, np.degrees(np.arcsin(u / np.linalg.norm(d, axis=1))),
                     np.degrees(np.arctan2(e, n)) % 360.0], axis=1))
with open(sys.argv[2], "w") as f:
    f.write("\n".join(out) + "\n")
