#pragma once

#include "grid/GridMoves.h"

// The page the Memory window shows: 20 rows of 16 bytes.
namespace PageGeometry {

constexpr int BytesPerRow = GridMoves::Columns;
constexpr int RowsPerPage = 20;
constexpr int BytesPerPage = BytesPerRow * RowsPerPage;

} // namespace PageGeometry
