#pragma once

#include <QTest>
#include <array>
#include <tuple>
#include <utility>

// A data table's columns in one line: Columns<int, QString>({"count", "name"}).
template <typename... T> void Columns(const std::array<const char*, sizeof...(T)>& names) {
    std::size_t i = 0;
    (QTest::addColumn<T>(names[i++]), ...);
}

// The current row's values: const auto [count, name] = Row<int, QString>({"count", "name"}).
template <typename... T> std::tuple<T...> Row(const std::array<const char*, sizeof...(T)>& names) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return std::tuple<T...>{*static_cast<T*>(QTest::qData(names[I], qMetaTypeId<T>()))...};
    }
    (std::index_sequence_for<T...>{});
}
