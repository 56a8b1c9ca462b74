#include "app/StoreAccess.h"

#include "app/AppFolder.h"
#include "app/MsgBox.h"

bool connectStore(Connection& Con)
{
    return storeGuard([&] { Con.Open(AppFolder::databaseFile()); });
}

void reportStoreError(const StoreError& error)
{
    MsgBox(error.reason(), MsgButtons::OKOnly, MsgIcon::Critical);
}
