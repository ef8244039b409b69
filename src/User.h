#pragma once

#include <QString>

// A technician who may open the settings area.
struct User
{
    int id = 0;
    QString name;
    QString surname;
    QString pin;

    bool operator==(const User& other) const
    {
        return id == other.id && name == other.name && surname == other.surname && pin == other.pin;
    }
    bool operator!=(const User& other) const { return !(*this == other); }
};
