#pragma once

#include <QtGlobal>

// The page the Memory window shows: 20 rows of 16 bytes.
namespace PageGeometry {

constexpr int BytesPerRow = 16;
constexpr int RowsPerPage = 20;
constexpr int BytesPerPage = BytesPerRow * RowsPerPage;

} // namespace PageGeometry
