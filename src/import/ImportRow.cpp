#include "import/ImportRow.h"

namespace {
using Member = QString ImportRow::*;
// Slot k feeds field kFields[k - 1].
constexpr std::array<Member, ImportRow::SlotCount> kFields{
    &ImportRow::Workerid, &ImportRow::Wname, &ImportRow::Sex, &ImportRow::Nation,
    &ImportRow::marriage, &ImportRow::BIrThday, &ImportRow::Politics, &ImportRow::Worktel1,
    &ImportRow::IdNumber, &ImportRow::Education, &ImportRow::Birthplace, &ImportRow::Worktel2,
    &ImportRow::JobAsses, &ImportRow::GraduateDate, &ImportRow::Profession, &ImportRow::SchoolName,
    &ImportRow::DepName, &ImportRow::JobTitle, &ImportRow::EmployType, &ImportRow::Skill,
    &ImportRow::WageLevel, &ImportRow::BaseWage, &ImportRow::BeginDate, &ImportRow::NorMalDate,
    &ImportRow::ALanguage, &ImportRow::BankName, &ImportRow::BankId, &ImportRow::CustodyOldId,
    &ImportRow::CurativeId, &ImportRow::Remarks, &ImportRow::ContactAddr,
};

constexpr std::array<ImportSlot, ImportRow::SlotCount> kSlots{{
    {1, "员工编号", "Workerid", true, false},
    {2, "姓名", "Wname", true, false},
    {3, "性别", "Sex", false, false},
    {4, "民族", "Nation", false, false},
    {5, "婚姻状况", "marriage", false, false},
    {6, "出生日期", "BIrThday", false, false},
    {7, "政治面貌", "Politics", false, false},
    {8, "手机号码", "Worktel1", false, false},
    {9, "身份证号码", "IdNumber", false, false},
    {10, "学历", "Education", false, false},
    {11, "籍贯", "Birthplace", false, false},
    {12, "联系电话", "Worktel2", false, false},
    {13, "职称", "JobAsses", false, true},
    {14, "毕业日期", "GraduateDate", false, false},
    {15, "专业", "Profession", false, false},
    {16, "毕业学校", "SchoolName", false, false},
    {17, "部门名称", "DepName", true, false},
    {18, "职务", "JobTitle", false, true},
    {19, "员工类型", "EmployType", false, false},
    {20, "专长", "Skill", false, true},
    {21, "工资等级", "WageLevel", false, true},
    {22, "基本工资", "BaseWage", false, true},
    {23, "入职日期", "BeginDate", false, false},
    {24, "转正日期", "NorMalDate", false, false},
    {25, "语言能力", "ALanguage", false, true},
    {26, "银行名称", "BankName", false, true},
    {27, "银行帐号", "BankId", false, true},
    {28, "养保帐号", "CustodyOldId", false, false},
    {29, "医保帐号", "CurativeId", false, false},
    {30, "备注", "Remarks", false, false},
    {31, "联系地址", "ContactAddr", false, false},
}};
} // namespace

QString& ImportRow::field(int slot)
{
    return this->*kFields.at(size_t(slot - 1));
}

const QString& ImportRow::field(int slot) const
{
    return this->*kFields.at(size_t(slot - 1));
}

void ImportRow::clearFields()
{
    for (Member m : kFields)
        (this->*m).clear();
}

const std::array<ImportSlot, ImportRow::SlotCount>& importSlots()
{
    return kSlots;
}
