#pragma once
// Reads a written workbook back with openpyxl: every cell's text and the
// distinct formats, borders and alignments in use, as JSON.

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "support/RunPython.h"

namespace lk::test {

inline constexpr char kReadSheetScript[] = R"PY(
import json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
out = {"sheets": len(wb.worksheets), "rows": ws.max_row, "cols": ws.max_column,
       "cells": [], "types": [], "formats": set(), "borders": set(), "align": set(),
       "widths": {}}
for row in ws.iter_rows():
    out["cells"].append(["" if c.value is None else c.value for c in row])
    out["types"].append([c.data_type for c in row])
    for c in row:
        out["formats"].add(c.number_format)
        b = c.border
        out["borders"].add(",".join(
            "%s:%s" % (s.style, s.color.rgb if s.color is not None else None)
            for s in (b.left, b.right, b.top, b.bottom)))
        out["align"].add("%s/%s" % (c.alignment.horizontal, c.alignment.vertical))
from openpyxl.utils import get_column_letter
for dim in ws.column_dimensions.values():
    for i in range(dim.min, dim.max + 1):
        out["widths"][get_column_letter(i)] = dim.width
for k in ("formats", "borders", "align"):
    out[k] = sorted(out[k])
print(json.dumps(out))
)PY";

inline nlohmann::json ReadSheetBack(const std::filesystem::path& file) {
    const auto run = RunPython(kReadSheetScript, {file.string()});
    if (run.exitCode != 0) return nlohmann::json{{"error", run.err}};
    return nlohmann::json::parse(run.out);
}

}  // namespace lk::test
