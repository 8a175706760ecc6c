#pragma once

#include <QString>

#include <array>

// One worksheet row on its way to Hrp_workers: 31 text fields, one per
// column-map slot, named after the column each feeds.
struct ImportRow {
    QString Workerid, Wname, Sex, Nation, marriage, BIrThday, Politics, Worktel1,
        IdNumber, Education, Birthplace, Worktel2, JobAsses, GraduateDate,
        Profession, SchoolName, DepName, JobTitle, EmployType, Skill, WageLevel,
        BaseWage, BeginDate, NorMalDate, ALanguage, BankName, BankId,
        CustodyOldId, CurativeId, Remarks, ContactAddr;
    QString DeptNo;
    bool RowWritten = false;
    int SheetRow = 0; // the row being written, for messages; 0 outside a run
    int EarlierRow = 0; // an earlier row of the workbook with the same worker number

    static constexpr int SlotCount = 31;
    // Field of slot k (1..31).
    QString& field(int slot);
    const QString& field(int slot) const;
    void clearFields(); // the 31 text fields, not DeptNo or RowWritten
};

// The column map's fixed description of each slot.
struct ImportSlot {
    int slot;              // 1..31
    const char* caption;   // UTF-8, shown above the box
    const char* column;    // Hrp_workers column the field feeds
    bool required;
    bool updatable;        // marked red: the update mode changes it
};

const std::array<ImportSlot, ImportRow::SlotCount>& importSlots();
