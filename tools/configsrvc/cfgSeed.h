// The seed file: the factory state of every configuration variable, from
// which a new database is created.
//
// Line-oriented, one variable per line, '#' starts a comment line:
//
//   NAME  READ/WRITE  DEFAULT  [ATTRIBUTE ...]
//
//   NAME        dotted name as the system spells it. One inner element may
//               be written "name[]" together with elements=N: the line then
//               stands for elements 0..N-1 ("a.b.c" for 0, "a.b[1].c", ...).
//   READ/WRITE  access levels by role name: user, admin, system,
//               provisioning, startup ("user/admin").
//   DEFAULT     the default value in double quotes ("" when empty); a
//               multi-valued variable may list several, separated by commas.
//               Escapes: \" \\ \n \t.
//   ATTRIBUTE   instances=N   the variable has N instances (default 1)
//               elements=N    see NAME
//               options="A","B",...   or   options=@SET
//                             the option list; the default must be in it and
//                             its position is the default index
//               open          the options are offered but not enforced
//               multi         the variable holds a list of values
//
// Option lists too long for one line are named blocks:
//
//   set SET
//     "A" "B" "C"          any number of quoted texts per line
//   end
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/configsrvc/cfgVar.h"

// Parses a seed; `source` names it in errors ("FILE:LINE: text").
bool cfgSeedParse(std::istream& in, const std::string& source, std::vector<CfgVar>* out, std::string* err);
bool cfgSeedLoadFile(const std::string& path, std::vector<CfgVar>* out, std::string* err);
