// Helpers of the utility tests: a database reader that collects result rows
// as texts, and small .gig files made with the project's writer.
#pragma once
#include "gig/GigWriter.h"
#include "kiv/db/Db.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace utiltest {

// Reads the database through its own connection; a null value reads "NULL".
class RowReader : public kiv::db {
public:
    std::vector<std::vector<std::string>> Rows(const char* statement)
    {
        m_rows.clear();
        Query("%s", statement);
        return m_rows;
    }
    // The one value of a one-row, one-column result; "" otherwise.
    std::string Value(const char* statement)
    {
        auto rows = Rows(statement);
        return rows.size() == 1 && rows[0].size() == 1 ? rows[0][0] : std::string();
    }

protected:
    void OnRow(int columns, char** values, char**) override
    {
        std::vector<std::string> row;
        for (int i = 0; i < columns; ++i)
            row.push_back(values[i] ? values[i] : "NULL");
        m_rows.push_back(std::move(row));
    }

private:
    std::vector<std::vector<std::string>> m_rows;
};

// Reads one integer column of a query; a null value reads -1.
class IntReader : public kiv::db {
public:
    std::vector<int> values;

protected:
    void OnRow(int columns, char** v, char** names) override
    {
        (void)names;
        values.push_back(columns > 0 && v[0] ? atoi(v[0]) : -1);
    }
};

// A bank whose instruments have the given names (no regions are needed to
// be listed).
inline gigtools::GigBuilder NamedBank(const std::vector<std::string>& names)
{
    gigtools::GigBuilder bank;
    for (const std::string& name : names)
        bank.AddInstrument(gigtools::GigInstrument(name));
    return bank;
}

// The top-level LIST "INFO" of a bank's tree.
inline gigtools::RiffNode* TopInfo(gigtools::RiffNode& riff)
{
    for (gigtools::RiffNode& child : riff.Children()) {
        if (child.IsContainer() && child.Type() == "INFO")
            return &child;
    }
    return nullptr;
}

inline gigtools::Bytes TextBytes(const std::string& text, bool withNul = true)
{
    gigtools::Bytes bytes(text.begin(), text.end());
    if (withNul)
        bytes.push_back(0);
    return bytes;
}

}  // namespace utiltest
