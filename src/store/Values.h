// Values: how both engines read and bind field values, categories and id lists. `Q` is
// an engine's statement (Query or PgQuery); each engine keeps its readValue/bindValue,
// which forward here. Included only by the engines' own files.
#pragma once

#include "store/Rows.h"
#include "store/Schema.h"
#include "store/TextList.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace store::values {

// The smallest text greater than every text that begins with the prefix (bytewise), or
// nullopt when there is none (a prefix of 0xFF bytes only).
inline std::optional<std::string> prefixEnd(std::string prefix)
{
    while (!prefix.empty()) {
        auto &last = reinterpret_cast<unsigned char &>(prefix.back());
        if (last < 0xFF) {
            ++last;
            return prefix;
        }
        prefix.pop_back();
    }
    return std::nullopt;
}

template <class Q>
std::vector<Id> ids(Q &q)
{
    std::vector<Id> out;
    while (q.step())
        out.push_back(q.int64(0));
    return out;
}

template <class Q>
void bindCategories(Q &q, int index, const std::optional<std::vector<std::string>> &categories)
{
    if (categories)
        q.bind(index, encodeTextList(*categories));
    else
        q.bindNull(index);
}

template <class Q>
Value read(Q &q, int typeColumn, int valueColumn)
{
    switch (q.int64(typeColumn)) {
    case FieldInteger:
        return q.int64(valueColumn);
    case FieldReal:
        return q.real(valueColumn);
    case FieldBool:
        return q.int64(valueColumn) != 0;
    default:
        return q.text(valueColumn);
    }
}

// A text value is bound without a copy where the engine can (bindView): it must outlive
// the statement's run.
template <class Q>
void bind(Q &q, int typeIndex, int valueIndex, const Value &value)
{
    if (const auto *s = std::get_if<std::string>(&value))
        q.bind(typeIndex, FieldText).bindView(valueIndex, std::string_view(*s));
    else if (const auto *i = std::get_if<std::int64_t>(&value))
        q.bind(typeIndex, FieldInteger).bind(valueIndex, *i);
    else if (const auto *d = std::get_if<double>(&value))
        q.bind(typeIndex, FieldReal).bind(valueIndex, *d);
    else
        q.bind(typeIndex, FieldBool).bind(valueIndex, std::int64_t(std::get<bool>(value) ? 1 : 0));
}

} // namespace store::values
