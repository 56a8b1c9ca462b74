#include "kit/StoreAccess.h"

#include "kit/AppFolder.h"
#include "kit/MsgBox.h"

bool connectStore(Connection& Con)
{
    return storeGuard([&] { Con.Open(AppFolder::databaseFile()); });
}

void reportStoreError(const StoreError& error)
{
    MsgBox(error.reason(), MsgButtons::OKOnly, MsgIcon::Critical);
}
