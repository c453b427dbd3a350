"""skykit against skytable: every column and every inverse, bit for bit, and
the errors a Python user expects.  SKYTABLE names the program."""
import math
import os
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import skykit

SKYTABLE = os.environ.get("SKYTABLE", "skytable")
COLUMNS = ["z", "d_L", "d_c", "d_M", "d_A", "mu", "kpc_arcsec", "V_c", "dV_c", "H", "dd_L",
           "t_age", "t_lookback", "t_now"]
FROM = ["z", "d_L", "d_c", "mu", "V_c", "t_age", "t_lookback"]
UNIVERSES = [
    ({"exact": False}, []),
    ({"h0": 70, "omega_m": 0.3, "lambda0": 0, "exact": False}, ["-h0", "70", "-omega", "0.3", "-lambda", "0"]),
    ({"omega_m": 0.1, "lambda0": 1.2, "exact": False}, ["-omega", "0.1", "-lambda", "1.2"]),
    ({"radiation": 0, "w0": -0.9, "wa": 0.2}, ["-radiation", "0", "-w0", "-0.9", "-wa", "0.2", "-exact"]),
    ({"tcmb0": 2.7255, "m_nu": 0.1, "omega_m": 0.3, "lambda0": 0.6},
     ["-tcmb", "2.7255", "-mnu", "0.1", "-omega", "0.3", "-lambda", "0.6", "-exact"]),
    ({"tcmb0": 2.7255, "m_nu": (0, 0.02, 0.05), "neutrinos": "fit", "flat": True, "w0": -0.9, "exact": False},
     ["-tcmb", "2.7255", "-mnu", "0,0.02,0.05", "-neutrinos", "fit", "-flat", "-w0", "-0.9"]),
]

def skytable(args, values):
    """What skytable prints for values given one per line, as doubles, a row each."""
    text = "".join("%r\n" % float(v) for v in values)
    out = subprocess.run([SKYTABLE, "-digits", "17"] + args, input=text.encode(), capture_output=True,
                         check=True).stdout.decode()
    return [[float(f) for f in line.split("\t")[1:]] for line in out.splitlines()]


def same(a, b):
    return a == b or (math.isnan(a) and math.isnan(b))


@pytest.mark.parametrize("kwargs,args", UNIVERSES)
def test_every_column_and_inverse_as_skytable_prints(kwargs, args):
    rng = np.random.default_rng(27)
    z = np.concatenate([10 ** rng.uniform(-4, 4, 600), rng.uniform(0, 20, 100), [0, np.inf, np.nan, -1]])
    u = skykit.Universe(**kwargs)
    want = skytable(args + ["-columns", ",".join(COLUMNS)], z)
    for threads in (1, 2):
        got = u.table(z, COLUMNS, threads=threads)
        for k, name in enumerate(COLUMNS):
            bad = [i for i in range(len(z)) if not same(got[name][i], want[i][k])]
            assert not bad, "%s %s at z = %r: %r, skytable %r" % (u, name, z[bad[0]], got[name][bad[0]],
                                                                   want[bad[0]][k])
    for q in FROM:
        values = [row[COLUMNS.index(q)] for row in want]
        found = [row[0] for row in skytable(args + ["-from", q, "-columns", "z"], values)]
        got = u.redshift(q, values, threads=2)
        bad = [i for i in range(len(values)) if not same(got[i], found[i])]
        assert not bad, "%s -from %s %r: %r, skytable %r" % (u, q, values[bad[0]], got[bad[0]], found[bad[0]])


def test_shapes_and_types():
    u = skykit.Universe()
    assert isinstance(u.d_L(1.0), float) and isinstance(u.d_L(1), float)
    assert u.d_L(np.float32(1.0)) == u.d_L(float(np.float32(1.0)))
    grid = np.arange(12, dtype=np.int64).reshape(3, 4)
    for z in (grid, grid.astype(np.float32), grid.astype(float)[:, ::2], grid.tolist()):
        a = np.asarray(z, dtype=float)
        assert u.mu(z).shape == a.shape and u.mu(z).dtype == np.float64
        assert np.array_equal(u.mu(z), u.mu(np.ascontiguousarray(a)), equal_nan=True)
    assert math.isnan(u.d_L(float("nan"))) and np.isnan(u.t_age([np.nan])).all()
    assert math.isnan(u.redshift("d_L", -1.0))
    assert set(u.table([1, 2])) == {"d_L", "d_c", "d_A"}
    assert repr(u) == "Universe(h0=73.0, omega_m=0.27, lambda0=0.73, radiation=4.165e-05, w0=-1.0, wa=0.0, exact=True)"
    with pytest.raises(AttributeError):
        u.h0 = 70
    assert "Mpc" in skykit.Universe.d_L.__doc__ and "Gyr" in skykit.Universe.t_age.__doc__
    # Memory not aligned to a double is read from a copy.
    odd = np.ndarray((3,), "f8", buffer=bytearray(25), offset=1)
    odd[:] = [0.5, 1, 2]
    assert not odd.flags.aligned and np.array_equal(u.d_L(odd), u.d_L([0.5, 1, 2]))
    # A subclass is made as the class is.
    class Mine(skykit.Universe):
        pass
    assert Mine(h0=70).d_L(1.0) == skykit.Universe(h0=70).d_L(1.0)
    # A universe that turned around just before now has no such redshift.
    assert math.isnan(skykit.Universe(lambda0=1e10).redshift("d_L", 1.0))


def test_ctrl_c_stops_a_long_call():
    """SIGINT during a call of a minute's work raises KeyboardInterrupt at
    once, not when the work is done."""
    u, z = skykit.Universe(), np.linspace(0, 5, 2 * 10**7)
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    start = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        u.d_L(z, threads=1)
    assert time.monotonic() - start < 10


@pytest.mark.parametrize("call,error,says", [
    (lambda: skykit.Universe(h0="70"), TypeError, "h0"),
    (lambda: skykit.Universe(hubble=70), TypeError, "hubble"),
    (lambda: skykit.Universe(exact=1), TypeError, "exact"),
    (lambda: skykit.Universe(radiation=-1e-5), ValueError, "radiation"),
    (lambda: skykit.Universe(w0=float("inf")), ValueError, "w0"),
    (lambda: skykit.Universe().d_L("1"), TypeError, "z"),
    (lambda: skykit.Universe().d_L(["a", 1]), ValueError, "z"),
    (lambda: skykit.Universe().d_L(1, threads=0), ValueError, "threads"),
    (lambda: skykit.Universe().table(1, ["d_L", "D_L"]), ValueError, "D_L"),
    (lambda: skykit.Universe().table(1, "d_L"), TypeError, "columns"),
    (lambda: skykit.Universe().redshift("d_A", 100), ValueError, "d_A"),
    (lambda: skykit.Universe().redshift("H", 100), ValueError, "quantity"),
    (lambda: skykit.Universe().redshift("d_L", {"a": 1}), ValueError, "values"),
    (lambda: skykit.Universe.__new__(skykit.Universe), TypeError, "__new__"),
])
def test_errors(call, error, says):
    with pytest.raises(error, match=says):
        call()
