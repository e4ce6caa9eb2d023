#!/usr/bin/env python3
# The device build against this one: every module of Android.bp has the
# sources, warning flags and libraries that CMake gives its target (the list
# CMake writes, cmake/SyssrvAndroidSources.cmake), and syssrv.rc starts the
# binary Soong installs, with variables, endpoint directory and
# capabilities the daemon and the kernel know.
# Usage: android_packaging_test.py TOP android-sources.txt capability.h BP...
import os, re, sys

top, export, caps_h, *bp_files = sys.argv[1:]
errors = []

def differ(what, want, have):
    errors.extend(f"{what}: {x} is missing from Android.bp" for x in sorted(set(want) - set(have)))
    errors.extend(f"{what}: {x} is in Android.bp but not in the build" for x in sorted(set(have) - set(want)))

# Blueprint modules as {name: {property: [strings]}}, paths from the top;
# properties are the lines indented by four blanks, nested blocks included.
bp = {}
for path in bp_files:
    text = re.sub(r"//.*", "", open(os.path.join(top, path)).read())
    for kind, body in re.findall(r"^(\w+) \{\n(.*?)^\}", text, re.M | re.S):
        found = re.findall(r"^    (\w+): (.*?)(?=^    \w|\Z)", body, re.M | re.S)
        props = {k: re.findall(r'"([^"]*)"', v) for k, v in found}
        props["srcs"] = [os.path.normpath(os.path.join(os.path.dirname(path), s)) for s in props.get("srcs", [])]
        props["type"] = kind
        bp[props.get("name", [kind])[0]] = props
for m in bp.values():
    for d in m.get("defaults", []):
        for k, v in bp[d].items():
            m[k] = v + m[k] if k in m and k != "type" else m.get(k, v)

cmake = {}
for line in open(export):
    name, kind, srcs, opts, libs = line.rstrip("\n").split("\t")
    cmake[name] = (kind, srcs.split())
    m = bp.get(name, {})
    if not m:
        errors.append(f"{name}: built for the device by CMake, but no module of Android.bp")
        continue
    differ(f"{name} type", ["cc_binary" if kind == "EXECUTABLE" else "cc_library_static"], [m["type"]])
    differ(f"{name} srcs", srcs.split(), m["srcs"])
    flags = m.get("cflags", []) + m.get("cppflags", [])
    differ(f"{name} flags", opts.split(), [f for f in flags if re.match("-W|-fno-builtin", f)])
    differ(f"{name} libs", libs.split(), m.get("static_libs", []) + m.get("whole_static_libs", []))
differ("modules", cmake, [n for n, m in bp.items() if m["type"].startswith("cc_") and m["type"] != "cc_defaults"])

binary = next(n for n, (k, _) in cmake.items() if k == "EXECUTABLE")
rc = open(os.path.join(top, bp[binary]["init_rc"][0])).read()
sources = "".join(open(os.path.join(top, f)).read() for _, fs in cmake.values() for f in fs if f[-4:] == ".cpp")
service = re.search(r"^service \S+ (\S+)", rc, re.M).group(1)
differ("installed binary", ["/system/bin/" + binary], [service])
for var in re.findall(r"^\s*(?:export|setenv) (\S+)", rc, re.M):
    if f'"{var}"' not in sources:
        errors.append(f"syssrv.rc sets {var}, which the daemon never reads")
socket_dir = re.search(r'kMsgDeviceSocketDir\[\] = "([^"]+)"', sources).group(1)
if not re.search(rf"^\s*mkdir {re.escape(socket_dir)} 0770 ", rc, re.M):
    errors.append(f"syssrv.rc does not create the message layer's directory {socket_dir} with mode 0770")
known = re.findall(r"#define CAP_(\w+)\s+\d", open(caps_h).read())
for cap in re.search(r"^\s*capabilities (.*)$", rc, re.M).group(1).split():
    if cap not in known:
        errors.append(f"syssrv.rc names capability {cap}, unknown to the kernel")

sys.exit("\n".join(errors) or None)
