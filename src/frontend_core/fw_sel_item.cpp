#include "fw_sel_item.h"

FwSelItem GetFwSelItemByName(std::string_view name)
{
    for (const FwSelItem& item : kFwSelItems) {
        if (item.name == name) {
            return item;
        }
    }
    return {};
}

FwSelItem GetFwSelItemById(std::int32_t id)
{
    for (const FwSelItem& item : kFwSelItems) {
        if (item.id == id) {
            return item;
        }
    }
    return {};
}

std::string GetFwTypeName(std::int32_t id)
{
    return std::string(GetFwSelItemById(id).name);
}
