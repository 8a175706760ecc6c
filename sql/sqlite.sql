-- The local personnel database: ostrel-import-cli init-db FILE creates it.
-- Written by ostrel-import-cli schema; regenerate it rather than edit it.
PRAGMA page_size=16384;
PRAGMA journal_mode=WAL;

BEGIN;

CREATE TABLE Hrp_workers (
  Wkid INTEGER PRIMARY KEY,
  Workerid TEXT COLLATE NOCASE,
  Wname TEXT,
  NamePy TEXT,
  DeptNo TEXT,
  DepName TEXT,
  Sex TEXT,
  Nation TEXT,
  Politics TEXT,
  BIrThday TEXT CHECK (BIrThday IS NULL OR BIrThday IS date(BIrThday, '+0 days') OR BIrThday IS datetime(BIrThday, '+0 days')),
  IdNumber TEXT,
  Birthplace TEXT,
  marriage TEXT,
  Education TEXT,
  Skill TEXT,
  JobTitle TEXT,
  BeginDate TEXT CHECK (BeginDate IS NULL OR BeginDate IS date(BeginDate, '+0 days') OR BeginDate IS datetime(BeginDate, '+0 days')),
  NorMalDate TEXT CHECK (NorMalDate IS NULL OR NorMalDate IS date(NorMalDate, '+0 days') OR NorMalDate IS datetime(NorMalDate, '+0 days')),
  BankName TEXT,
  BankId TEXT,
  EmployType TEXT,
  BaseWage NUMERIC CHECK (BaseWage IS NULL OR typeof(BaseWage) IN ('integer', 'real')),
  ContactAddr TEXT,
  Worktel1 TEXT,
  Worktel2 TEXT,
  Remarks TEXT,
  CurativeId TEXT,
  CustodyOldId TEXT,
  Profession TEXT,
  SchoolName TEXT,
  GraduateDate TEXT CHECK (GraduateDate IS NULL OR GraduateDate IS date(GraduateDate, '+0 days') OR GraduateDate IS datetime(GraduateDate, '+0 days')),
  WageLevel TEXT,
  WorkStatus TEXT,
  ALanguage TEXT,
  leye TEXT,
  reye TEXT,
  BodyHigh NUMERIC,
  BodyWeight NUMERIC,
  Email TEXT,
  FamilyTel TEXT,
  JobAsses TEXT,
  LeaveDate TEXT CHECK (LeaveDate IS NULL OR LeaveDate IS date(LeaveDate, '+0 days') OR LeaveDate IS datetime(LeaveDate, '+0 days'))
);

CREATE UNIQUE INDEX UX_Hrp_workers_Workerid ON Hrp_workers (Workerid);

CREATE TABLE Sys_dept (
  DeptNO TEXT,
  DeptName TEXT COLLATE NOCASE
);

CREATE INDEX IX_Sys_dept_DeptName ON Sys_dept (DeptName);

CREATE TABLE Sys_SerialNo (
  SerialName TEXT COLLATE NOCASE,
  AValue INTEGER
);

CREATE UNIQUE INDEX UX_Sys_SerialNo_SerialName ON Sys_SerialNo (SerialName);

CREATE TABLE Sys_User (
  UserID TEXT COLLATE NOCASE,
  UserName TEXT,
  PassWd TEXT
);

CREATE INDEX IX_Sys_User_UserID ON Sys_User (UserID);

COMMIT;
