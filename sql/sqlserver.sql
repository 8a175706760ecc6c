-- The four tables of the personnel database on SQL Server, for a DBA to create:
--   sqlcmd -S SERVER -d DATABASE -U USER -i sql/sqlserver.sql
-- nvarchar keeps any Chinese text whatever the database's collation; the
-- collation should be case-insensitive (the default, e.g. Chinese_PRC_CI_AS),
-- as the statements spell table and column names in several ways, and so that
-- the text keys (Workerid, DeptName, SerialName, UserID) compare without
-- regard to case: "w0001" is "W0001". In a case-sensitive database, add
-- COLLATE Chinese_PRC_CI_AS to those four columns.
-- Keep in step with sql/postgresql.sql and sql/sqlite.sql.

SET XACT_ABORT ON;
BEGIN TRANSACTION;

CREATE TABLE Hrp_workers (
  Wkid         int NULL,
  Workerid     nvarchar(30) NULL,
  Wname        nvarchar(50) NULL,
  NamePy       nvarchar(10) NULL,
  DeptNo       nvarchar(20) NULL,
  DepName      nvarchar(50) NULL,
  Sex          nvarchar(10) NULL,
  Nation       nvarchar(20) NULL,
  Politics     nvarchar(20) NULL,
  BIrThday     date NULL,
  IdNumber     nvarchar(30) NULL,
  Birthplace   nvarchar(100) NULL,
  marriage     nvarchar(10) NULL,
  Education    nvarchar(20) NULL,
  Skill        nvarchar(200) NULL,
  JobTitle     nvarchar(50) NULL,
  BeginDate    date NULL,
  NorMalDate   date NULL,
  BankName     nvarchar(100) NULL,
  BankId       nvarchar(50) NULL,
  EmployType   nvarchar(20) NULL,
  BaseWage     numeric(12,2) NULL,
  ContactAddr  nvarchar(200) NULL,
  Worktel1     nvarchar(30) NULL,
  Worktel2     nvarchar(30) NULL,
  Remarks      nvarchar(500) NULL,
  CurativeId   nvarchar(50) NULL,
  CustodyOldId nvarchar(50) NULL,
  Profession   nvarchar(100) NULL,
  SchoolName   nvarchar(100) NULL,
  GraduateDate date NULL,
  WageLevel    nvarchar(20) NULL,
  WorkStatus   nvarchar(10) NULL,
  ALanguage    nvarchar(100) NULL,
  leye         nvarchar(10) NULL,
  reye         nvarchar(10) NULL,
  BodyHigh     numeric(5,1) NULL,
  BodyWeight   numeric(5,1) NULL,
  Email        nvarchar(100) NULL,
  FamilyTel    nvarchar(30) NULL,
  JobAsses     nvarchar(50) NULL,
  LeaveDate    date NULL
);

CREATE UNIQUE INDEX UX_Hrp_workers_Workerid ON Hrp_workers (Workerid) WHERE Workerid IS NOT NULL;
CREATE UNIQUE INDEX UX_Hrp_workers_Wkid ON Hrp_workers (Wkid) WHERE Wkid IS NOT NULL;

CREATE TABLE Sys_dept (
  DeptNO   nvarchar(20) NULL,
  DeptName nvarchar(50) NULL
);
CREATE INDEX IX_Sys_dept_DeptName ON Sys_dept (DeptName);

-- Exactly these two columns in this order: the program inserts without naming them.
CREATE TABLE Sys_SerialNo (
  SerialName nvarchar(50) NULL,
  AValue     int NULL
);
CREATE UNIQUE INDEX UX_Sys_SerialNo_SerialName ON Sys_SerialNo (SerialName);

CREATE TABLE Sys_User (
  UserID   nvarchar(20) NULL,
  UserName nvarchar(50) NULL,
  PassWd   nvarchar(50) NULL
);
CREATE INDEX IX_Sys_User_UserID ON Sys_User (UserID);

COMMIT TRANSACTION;
GO
