#pragma once

#include <array>

#include <QLatin1StringView>

// The stored fields of a contact, in the order of tblAddress: the one list
// behind every place that reads or writes a whole contact (the address book's
// screens and the vCard exchange).
namespace ContactFields {
enum Field {
    FirstName,
    LastName,
    HomeAddress,
    Suburb,
    PostCode,
    Email,
    HomePhone,
    Mobile,
    ICQ,
    WebAddress,
    Comments,
    Count
};

inline constexpr std::array<QLatin1StringView, Count> kNames{
    QLatin1StringView("FirstName"),  QLatin1StringView("LastName"), QLatin1StringView("HomeAddress"),
    QLatin1StringView("Suburb"),     QLatin1StringView("PostCode"), QLatin1StringView("Email"),
    QLatin1StringView("HomePhone"),  QLatin1StringView("Mobile"),   QLatin1StringView("ICQ"),
    QLatin1StringView("WebAddress"), QLatin1StringView("Comments"),
};
}  // namespace ContactFields
