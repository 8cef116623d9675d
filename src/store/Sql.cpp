#include "store/Sql.h"

#include "store/Rows.h"

namespace store::sql {

std::string updateMessage(unsigned columns)
{
    static const char *const names[ColumnCount] = {"subject", "body",  "sensitivity", "categories", "all_day",
                                                   "location", "start", "\"end\"",     "stamp"};
    std::string text = "UPDATE messages SET ";
    for (unsigned bit = 0; bit < ColumnCount; ++bit) {
        if (columns & (1u << bit))
            text += std::string(names[bit]) + " = ?" + std::to_string(bit + 1) + ", ";
    }
    text += "changed_at = ?11 WHERE id = ?10";
    return text;
}

} // namespace store::sql
