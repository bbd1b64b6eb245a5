// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/tables.h"

namespace engine {

const std::vector<TableDefinition>& catalogueTables()
{
    static const std::vector<TableDefinition> tables = {
        {"eloado", {"kod", "ELOADO", "ALBUM"}},
        {"szamok", {"CIM", "IDO", "MERET", "BITRATA", "KOD", "eloado_azonosito"}},
        {"Valogatasok", {"ELOADO", "ALBUM", "IDO", "BITRATA", "MERET", "KOD"}},
        {"DVD_Filmek", {"CIM", "EREDETI_CIM", "Nyelv", "Felirat", "db_DVD", "Hossz", "Stilus"}},
        {"Filmek_videoklippek",
         {"CIM", "MEGJEGYZES", "Nyelv", "Felbontas", "MERET", "Hossz", "Stilus", "Video", "Hang"}},
        {"games", {"NEV", "Megjegyzes", "MERET", "KOD"}},
        {"progs_other", {"Programok", "Megjegyzes", "MERET", "KOD"}},
    };
    return tables;
}

const std::vector<ListedTable>& listedTables()
{
    static const std::vector<ListedTable> tables = {
        {"eloado", {"ELOADO", "ALBUM"}},  {"Valogatasok", {"ELOADO"}}, {"DVD_Filmek", {"CIM"}},
        {"Filmek_videoklippek", {"CIM"}}, {"games", {"NEV"}},          {"progs_other", {"Programok"}},
    };
    return tables;
}

const ListedTable* listedTable(const QString& table)
{
    for (const ListedTable& listed : listedTables()) {
        if (listed.table.compare(table, Qt::CaseInsensitive) == 0)
            return &listed;
    }
    return nullptr;
}

} // namespace engine
