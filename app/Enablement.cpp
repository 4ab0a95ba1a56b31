#include "app/frmMirdal.h"

void frmMirdal::UpdateCommandState()
{
    btnReg.SetEnabled(false);
    btnUnreg.SetEnabled(false);
    btnRegBat.SetEnabled(false);
    btnRegRead.SetEnabled(false);
    if (CheckListItemSelect()) {
        btnReg.SetEnabled(true);
        btnUnreg.SetEnabled(true);
        btnRegBat.SetEnabled(true);
    }
    if (lsvFile.ItemCount() != 0)
        btnRegRead.SetEnabled(true);
}

bool frmMirdal::CheckListItemSelect()
{
    if (lsvFile.ItemCount() == 0)
        return false;
    // The control keeps the selection; asking for the first selected row visits none after it.
    return lsvFile.NextSelected(-1) >= 0;
}

void frmMirdal::lsvFile_GotFocus() { UpdateCommandState(); }

void frmMirdal::trvDir_GotFocus() { UpdateCommandState(); }
