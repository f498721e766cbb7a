#pragma once

#include <array>

#include <QString>
#include <QStringList>

class CDevData;

// The columns of the device list, shared by the window and the command-line listing.
struct CDevLstColumn
{
    const char16_t* caption;
    int subItem;
    int width; // pixels
};

inline constexpr std::array<CDevLstColumn, 10> kDeviceListColumns = {{
    {u"NN", 0, 40},
    {u"Серийный №", 1, 90},
    {u"Модель ТС", 2, 90},
    {u"Дата опроса", 3, 100},
    {u"Название потребителя", 4, 200},
    {u"Телефон", 5, 105},
    {u"Идент. абонента", 6, 140},
    {u"Адрес", 7, 300},
    {u"Контактное лицо", 8, 200},
    {u"Сетевой адрес", 9, 95},
}};

inline QString deviceListCaption(int column)
{
    return QString::fromUtf16(kDeviceListColumns[static_cast<std::size_t>(column)].caption);
}

// Columns 1-9 of an account's row, as the list shows them (column 0 is the row number).
QStringList deviceListCells(const CDevData& account);
// The row number as column 0 shows it, counting from 1.
QString deviceListRowNumber(int row);
