#include "store/Sql.h"

#include "store/Rows.h"

namespace store::sql {

std::string updateMessage(unsigned columns)
{
    static const char *const names[ColumnCount] = {"subject", "body",  "sensitivity", "categories", "all_day",
                                                   "location", "start", "\"end\"",     "stamp"};
    std::string text = "UPDATE messages SET ";
    bool first = true;
    for (unsigned bit = 0; bit < ColumnCount; ++bit) {
        if (!(columns & (1u << bit)))
            continue;
        if (!first)
            text += ", ";
        text += names[bit];
        text += " = ?" + std::to_string(bit + 1);
        first = false;
    }
    text += " WHERE id = ?10 RETURNING folder_id, hidden";
    return text;
}

} // namespace store::sql
