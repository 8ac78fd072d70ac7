#pragma once

#include "grid/Grid.h"

#include <QtGlobal>

// The page the Memory window shows: 20 rows of 16 bytes.
namespace PageGeometry {

constexpr int BytesPerRow = 16;
constexpr int RowsPerPage = 20;
constexpr int BytesPerPage = BytesPerRow * RowsPerPage;

static_assert(BytesPerRow == Grid::Columns, "a row is one row of the grid");
static_assert(RowsPerPage == Grid::GeometryRows, "a page fills the grid's rows");

} // namespace PageGeometry
