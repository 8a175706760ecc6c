-- The four tables of the personnel database on PostgreSQL, for a DBA to create:
--   psql -v ON_ERROR_STOP=1 -d DATABASE -f sql/postgresql.sql
-- Names are left unquoted, so they match the program's statements in any case.
-- Keep in step with sql/sqlserver.sql and sql/sqlite.sql.

BEGIN;

-- The text keys (worker number, department name, counter name, login id)
-- compare without regard to letter case, as on SQL Server and in the local
-- file: "w0001" is "W0001". A nondeterministic ICU collation does it and
-- keeps the columns varchar(n), so a value too long is still refused.
-- Creating it needs only the CREATE right on the schema (the database's
-- owner has it); PostgreSQL 12 or later, built with ICU (Debian's is).
CREATE COLLATION IF NOT EXISTS ostrel_nocase (provider = icu, locale = 'und-u-ks-level2', deterministic = false);

CREATE TABLE Hrp_workers (
  Wkid         integer,
  Workerid     varchar(30) COLLATE ostrel_nocase,
  Wname        varchar(50),
  NamePy       varchar(10),
  DeptNo       varchar(20),
  DepName      varchar(50),
  Sex          varchar(10),
  Nation       varchar(20),
  Politics     varchar(20),
  BIrThday     date,
  IdNumber     varchar(30),
  Birthplace   varchar(100),
  marriage     varchar(10),
  Education    varchar(20),
  Skill        varchar(200),
  JobTitle     varchar(50),
  BeginDate    date,
  NorMalDate   date,
  BankName     varchar(100),
  BankId       varchar(50),
  EmployType   varchar(20),
  BaseWage     numeric(12,2),
  ContactAddr  varchar(200),
  Worktel1     varchar(30),
  Worktel2     varchar(30),
  Remarks      varchar(500),
  CurativeId   varchar(50),
  CustodyOldId varchar(50),
  Profession   varchar(100),
  SchoolName   varchar(100),
  GraduateDate date,
  WageLevel    varchar(20),
  WorkStatus   varchar(10),
  ALanguage    varchar(100),
  leye         varchar(10),
  reye         varchar(10),
  BodyHigh     numeric(5,1),
  BodyWeight   numeric(5,1),
  Email        varchar(100),
  FamilyTel    varchar(30),
  JobAsses     varchar(50),
  LeaveDate    date
);

CREATE UNIQUE INDEX UX_Hrp_workers_Workerid ON Hrp_workers (Workerid);
CREATE UNIQUE INDEX UX_Hrp_workers_Wkid ON Hrp_workers (Wkid);

CREATE TABLE Sys_dept (
  DeptNO   varchar(20),
  DeptName varchar(50) COLLATE ostrel_nocase
);
CREATE INDEX IX_Sys_dept_DeptName ON Sys_dept (DeptName);

-- Exactly these two columns in this order: the program inserts without naming them.
CREATE TABLE Sys_SerialNo (
  SerialName varchar(50) COLLATE ostrel_nocase,
  AValue     integer
);
CREATE UNIQUE INDEX UX_Sys_SerialNo_SerialName ON Sys_SerialNo (SerialName);

CREATE TABLE Sys_User (
  UserID   varchar(20) COLLATE ostrel_nocase,
  UserName varchar(50),
  PassWd   varchar(50)
);
CREATE INDEX IX_Sys_User_UserID ON Sys_User (UserID);

COMMIT;
