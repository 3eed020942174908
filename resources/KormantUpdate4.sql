/* Server version: LI-V3.0.11.33637 Firebird 3.0
SQLDialect: 3. ODS: 12.0. Forced writes: On. Sweep interval: 20000.
Page size: 8192. Cache pages: 2048 (16384 Kb). Read-only: False. */

/* Обновление базы данных «Кормант» с версии 3 на версию 4.
   Кодировка windows-1251, концы строк CR LF. Скрипт запускается программой
   обновления; перед изменениями он проверяет версию базы (Check_Versio). */

SET NAMES WIN1251;
SET SQL DIALECT 3;
SET AUTODDL ON;
RECONNECT;

/* Проверка версии базы данных */
execute procedure Check_Versio(4);
commit;
reconnect;

/* ==== Подготовка данных ==== */

SET GENERATOR Gen_Import_Log_Id TO 0;
delete from Import_Log;
delete from Old_Discounts where Customer_Id not in (select Id from Customers);
commit;

update Customers set Phone = null where Phone = '';
update Customers set Inn = '' where Inn is null;
update Payments set Doc_Num = 'б/н' where Doc_Num is null;
update Accounts set Opened_On = '2004-01-01' where Opened_On is null;
COMMIT;

/* ==== Удаление ограничений ==== */

/* Drop Constraint... */
alter table Old_Discounts drop constraint FK_Old_Discounts_Customer;
alter table Contracts drop constraint CHK_Contracts_Amount;
RECONNECT;

ALTER TABLE Accounts DROP CONSTRAINT UQ_Accounts_Num;
alter table Payments drop constraint CHK_Payments_Amount;
alter table Tariffs drop constraint CHK_Tariffs_Price;
RECONNECT;

/* ==== Процедуры, зависящие от удаляемых объектов ==== */

SET TERM ^ ;

/* Alter Procedure... */
ALTER PROCEDURE Customer_Discount (Customer_Id integer)
returns (Discount numeric(5, 2))
as
BEGIN EXIT; END
^

ALTER PROCEDURE Import_Cleanup (Keep_Days integer)
as
BEGIN EXIT; END
^

SET TERM ; ^

/* Drop Procedure... */
DROP PROCEDURE Import_Cleanup;

/* Drop Trigger... */
DROP TRIGGER Import_Log_BI;
DROP TRIGGER Old_Discounts_BI;

/* ==== Внешняя функция: сумма прописью ==== */

DROP EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS;

DECLARE EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS
    INTEGER, INTEGER
    RETURNS CSTRING(100) FREE_IT
    ENTRY_POINT 'UDF_Integer_In_Words' MODULE_NAME 'QUV_UDF.dll';

COMMENT ON EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS IS 'Целое число прописью; второй аргумент: род (0 — мужской, 1 — женский, 2 — средний)';

/* ==== Таблицы ==== */

/* Create Table... */
CREATE TABLE Payment_Plans (
    Id          integer not null,
    Contract_Id integer not null,
    Plan_Month  date not null,          /* первое число месяца */
    Plan_Sum    numeric(15, 2) default 0 not null,
    Is_Paid     smallint default 0 not null
);

CREATE TABLE Contract_Notes (
    Id          integer not null,
    Contract_Id integer not null,
    Written_At  timestamp default current_timestamp not null,
    Author      varchar(31) default current_user not null,
    Note_Text   varchar(1000) not null
);

create table Audit_Log (
    Id          integer not null,
    Table_Name  varchar(31) not null,
    Record_Id   integer not null,
    Changed_At  timestamp default current_timestamp not null,
    Changed_By  varchar(31) default current_user not null,
    Details     varchar(250)
);

/* Alter Table (Add column)... */
ALTER TABLE Customers ADD Kpp varchar(9) default '' not null;
ALTER TABLE Customers ADD Discount_Percent numeric(5, 2) default 0 not null;
ALTER TABLE Customers ADD Updated_At timestamp;
ALTER TABLE Contracts ADD Region_Code char(2) default '77' not null;
ALTER TABLE Contracts ADD Plan_Months smallint default 12 not null;
ALTER TABLE Payments ADD Is_Confirmed smallint default 0 not null;
ALTER TABLE Payments ADD Confirmed_By varchar(31);
alter table Tariffs add Valid_From date default '2006-01-01' not null;
alter table Employees add Phone varchar(30) default '' not null;

COMMENT ON COLUMN Customers.Kpp IS 'КПП организации (для ИП и физических лиц пустой)';
COMMENT ON COLUMN Customers.Discount_Percent IS 'Скидка клиента, %; заменяет таблицу Old_Discounts';
COMMENT ON COLUMN Contracts.Region_Code IS 'Код региона (''77'' — Москва, ''78'' — Санкт-Петербург)';
COMMENT ON COLUMN Contracts.Plan_Months IS 'Срок графика платежей, месяцев';
COMMENT ON COLUMN Payments.Doc_Num IS 'Номер платёжного документа -- «б/н», если номера нет';
COMMENT ON COLUMN Payments.Is_Confirmed IS 'Платёж подтверждён бухгалтерией: 0 — нет, 1 — да';
comment on column Payment_Plans.Plan_Month is 'Месяц графика; хранится первое число месяца';

COMMENT ON TABLE Payment_Plans IS 'График платежей по договору.
Строки создаёт процедура Plan_Payments;
оплату по строке проводит Pay_By_Plan.';
COMMENT ON TABLE Contract_Notes IS 'Заметки менеджеров к договорам';
COMMENT ON TABLE Audit_Log IS 'Журнал изменений договоров и клиентов';

/* Alter Column... */
ALTER TABLE Contracts ALTER COLUMN Manager TYPE varchar(100);
ALTER TABLE Accounts ALTER COLUMN Opened_On SET DEFAULT current_date;

/* Обязательные поля (в версии для Firebird 2.0 — через RDB$RELATION_FIELDS) */
ALTER TABLE Customers ALTER COLUMN Inn SET NOT NULL;
ALTER TABLE Payments ALTER COLUMN Doc_Num SET NOT NULL;
ALTER TABLE Accounts ALTER COLUMN Opened_On SET NOT NULL;

/* Перенос скидок в карточку клиента */
update Customers c set c.Discount_Percent =
    coalesce((select max(d.Discount) from Old_Discounts d where d.Customer_Id = c.Id), 0);
commit;

/* Alter Table (Drop column)... */
ALTER TABLE Customers DROP Email;
ALTER TABLE Customer_Kinds DROP Short_Name;
ALTER TABLE Payments DROP Amount_In_Words;

/* Drop Table... */
DROP TABLE Old_Discounts;
DROP TABLE Import_Log;
Reconnect;

/* ==== Новые процедуры ==== */

SET TERM ^ ;

/* Create Procedure... */
CREATE PROCEDURE Payment_In_Words (Amount numeric(15, 2))
returns (Words varchar(250))
as
BEGIN EXIT; END
^

CREATE PROCEDURE Plan_Payments (Contract_Id integer, First_Month date)
returns (Rows_Made integer)
as
BEGIN EXIT; END
^

CREATE PROCEDURE Pay_By_Plan (Plan_Id integer, Kind_Id smallint)
returns (Payment_Id integer)
as
BEGIN EXIT; END
^

CREATE PROCEDURE Customer_Debt (Customer_Id integer)
returns (Debt numeric(15, 2))
as
BEGIN EXIT; END
^

SET TERM ; ^

COMMENT ON PROCEDURE Payment_In_Words IS 'Сумма прописью: «одна тысяча двести рублей 00 копеек»';
COMMENT ON PROCEDURE Plan_Payments IS 'Строит помесячный график платежей по договору';
COMMENT ON PROCEDURE Pay_By_Plan IS 'Проводит платёж по строке графика';
COMMENT ON PROCEDURE Customer_Debt IS 'Задолженность клиента по всем действующим договорам';

/* ==== Генераторы и ограничения ==== */

/* Create Generator... */
CREATE GENERATOR Gen_Payment_Plans_Id;
CREATE GENERATOR Gen_Contract_Notes_Id;
CREATE GENERATOR Gen_Audit_Log_Id;
CREATE GENERATOR Gen_Doc_Num;

/* Primary keys */
ALTER TABLE Payment_Plans ADD CONSTRAINT PK_Payment_Plans PRIMARY KEY (Id);
ALTER TABLE Contract_Notes ADD CONSTRAINT PK_Contract_Notes PRIMARY KEY (Id);
ALTER TABLE Audit_Log ADD CONSTRAINT PK_Audit_Log PRIMARY KEY (Id);

/* Unique keys */
ALTER TABLE Accounts ADD CONSTRAINT UQ_Accounts_Num UNIQUE (Num);
ALTER TABLE Payment_Plans ADD CONSTRAINT UQ_Payment_Plans_Month UNIQUE (Contract_Id, Plan_Month);
RECONNECT;

/* Foreign keys */
ALTER TABLE Payment_Plans ADD CONSTRAINT FK_Payment_Plans_Contract
    FOREIGN KEY (Contract_Id) REFERENCES Contracts (Id) ON DELETE CASCADE;
ALTER TABLE Contract_Notes ADD CONSTRAINT FK_Contract_Notes_Contract
    FOREIGN KEY (Contract_Id) REFERENCES Contracts (Id) ON DELETE CASCADE;

/* Check constraints */
ALTER TABLE Contracts ADD CONSTRAINT CHK_Contracts_Amount CHECK (Amount >= 0);
ALTER TABLE Payments ADD CONSTRAINT CHK_Payments_Amount CHECK (Amount > 0 and Amount <= 100000000);
ALTER TABLE Tariffs ADD CONSTRAINT CHK_Tariffs_Price CHECK (Price >= 0);
ALTER TABLE Customers ADD CONSTRAINT CHK_Customers_Discount
    CHECK (Discount_Percent between 0 and 100);
ALTER TABLE Payment_Plans ADD CONSTRAINT CHK_Payment_Plans_Sum CHECK (Plan_Sum >= 0);
ALTER TABLE Payments ADD CONSTRAINT CHK_Payments_Confirmed CHECK (Is_Confirmed in (0, 1));
ALTER TABLE Contracts ADD CONSTRAINT CHK_Contracts_Region CHECK (Region_Code similar to '[0-9]{2}');

/* ==== Изменённые процедуры ==== */

SET TERM ^ ;

/* Новые параметры: номер документа */
ALTER PROCEDURE Add_Payment (Account_Id integer, Kind_Id smallint, Amount numeric(15, 2),
    Doc_Num varchar(20))
returns (Id integer)
as
BEGIN EXIT; END
^

ALTER PROCEDURE Payment_In_Words (Amount numeric(15, 2))
returns (Words varchar(250))
as
declare variable Rubles integer;
declare variable Kopecks integer;
begin
    /* Рубли — мужского рода, копейки — женского: «один рубль», «одна копейка». */
    Rubles = trunc(Amount);
    Kopecks = cast((Amount - Rubles) * 100 as integer);
    Words = UDF_INTEGER_IN_WORDS(:Rubles, 0) || ' руб. ' ||
            lpad(cast(Kopecks as varchar(2)), 2, '0') || ' коп.';
    suspend;
end
^

ALTER PROCEDURE Add_Payment (Account_Id integer, Kind_Id smallint, Amount numeric(15, 2),
    Doc_Num varchar(20))
returns (Id integer)
as
begin
    Id = gen_id(Gen_Payments_Id, 1);
    -- без номера документ получает номер «б/н»
    insert into Payments (Id, Account_Id, Kind_Id, Paid_On, Amount, Doc_Num)
    values (:Id, :Account_Id, :Kind_Id, current_date, :Amount, coalesce(:Doc_Num, 'б/н'));
    suspend;
end
^

ALTER PROCEDURE Customer_Discount (Customer_Id integer)
returns (Discount numeric(5, 2))
as
begin
    /* С версии 4 скидка хранится в карточке клиента. */
    Discount = 0;
    select Discount_Percent from Customers where Id = :Customer_Id
    into :Discount;
    suspend;
end
^

ALTER PROCEDURE Plan_Payments (Contract_Id integer, First_Month date)
returns (Rows_Made integer)
as
declare variable Months smallint;
declare variable Monthly numeric(15, 2);
declare variable I smallint;
begin
    Rows_Made = 0;
    select Plan_Months, Amount / Plan_Months from Contracts where Id = :Contract_Id
    into :Months, :Monthly;
    if (Months is null) then
        exit;
    delete from Payment_Plans where Contract_Id = :Contract_Id and Is_Paid = 0;
    I = 0;
    while (I < Months) do
    begin
        /* строка графика на каждый месяц; оплаченные остаются */
        update or insert into Payment_Plans (Contract_Id, Plan_Month, Plan_Sum)
        values (:Contract_Id, dateadd(:I month to :First_Month), :Monthly)
        matching (Contract_Id, Plan_Month);
        Rows_Made = Rows_Made + 1;
        I = I + 1;
    end
    suspend;
end
^

ALTER PROCEDURE Pay_By_Plan (Plan_Id integer, Kind_Id smallint)
returns (Payment_Id integer)
as
declare variable Account_Id integer;
declare variable Plan_Sum numeric(15, 2);
begin
    select first 1 a.Id, pp.Plan_Sum
    from Payment_Plans pp join Accounts a on a.Contract_Id = pp.Contract_Id
    where pp.Id = :Plan_Id and pp.Is_Paid = 0
    into :Account_Id, :Plan_Sum;
    if (Account_Id is null) then
        exit;
    select Id from Add_Payment(:Account_Id, :Kind_Id, :Plan_Sum,
                               'ГР-' || gen_id(Gen_Doc_Num, 1))
    into :Payment_Id;
    update Payment_Plans set Is_Paid = 1 where Id = :Plan_Id;
    suspend;
end
^

ALTER PROCEDURE Customer_Debt (Customer_Id integer)
returns (Debt numeric(15, 2))
as
begin
    select coalesce(sum(pp.Plan_Sum), 0)
    from Payment_Plans pp join Contracts c on c.Id = pp.Contract_Id
    where c.Customer_Id = :Customer_Id and c.State_Id = 1 and pp.Is_Paid = 0
      and pp.Plan_Month <= current_date
    into :Debt;
    suspend;
end
^

SET TERM ; ^

/* ==== Триггеры ==== */

SET TERM ^ ;

/* Create Trigger... */
CREATE TRIGGER Payment_Plans_BI FOR Payment_Plans
ACTIVE BEFORE INSERT POSITION 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Payment_Plans_Id, 1);
end
^

CREATE TRIGGER Contract_Notes_BI FOR Contract_Notes
ACTIVE BEFORE INSERT POSITION 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Contract_Notes_Id, 1);
end
^

CREATE TRIGGER Audit_Log_BI FOR Audit_Log
ACTIVE BEFORE INSERT POSITION 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Audit_Log_Id, 1);
end
^

CREATE TRIGGER Contracts_AU FOR Contracts
ACTIVE AFTER UPDATE POSITION 10
as
begin
    if (new.State_Id <> old.State_Id) then
        insert into Audit_Log (Table_Name, Record_Id, Details)
        values ('CONTRACTS', new.Id, 'Состояние: ' || old.State_Id || ' -> ' || new.State_Id);
end
^

CREATE TRIGGER Customers_AIU FOR Customers
ACTIVE AFTER INSERT OR UPDATE POSITION 10
as
begin
    insert into Audit_Log (Table_Name, Record_Id, Details)
    values ('CUSTOMERS', new.Id, iif(inserting, 'Новый клиент', 'Изменена карточка'));
end
^

CREATE TRIGGER Payments_BD FOR Payments
ACTIVE BEFORE DELETE POSITION 0
as
begin
    insert into Audit_Log (Table_Name, Record_Id, Details)
    values ('PAYMENTS', old.Id, 'Удалён платёж ' || old.Doc_Num || ' на сумму ' || old.Amount);
end
^

/* Alter Trigger... */
ALTER TRIGGER Customers_BU
as
begin
    new.Name = trim(new.Name);
    new.Kpp = trim(new.Kpp);
    new.Updated_At = current_timestamp;
end
^

ALTER TRIGGER Payments_AI
as
begin
    /* баланс меняется на сумму каждого платежа, подтверждён он или нет */
    update Accounts set Balance = Balance + new.Amount
    where Id = new.Account_Id;
end
^

ALTER TRIGGER Payments_AD
AS
DECLARE VARIABLE Dummy INTEGER;
BEGIN
  Dummy = 0;
END
^

ALTER TRIGGER Payments_AD
as
begin
    update Accounts set Balance = Balance - old.Amount where Id = old.Account_Id;
end
^

SET TERM ; ^

/* Drop and create again: the contract number gets the region */
DROP TRIGGER Contracts_BI;

SET TERM ^ ;

CREATE TRIGGER Contracts_BI FOR Contracts
ACTIVE BEFORE INSERT POSITION 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Contracts_Id, 1);
    if (new.Num is null) then
        new.Num = 'Д-' || coalesce(new.Region_Code, '77') || '/' || gen_id(Gen_Contract_Num, 1);
end
^

SET TERM ; ^

/* Drop Generator... */
DROP GENERATOR Gen_Import_Log_Id;
DROP GENERATOR Gen_Old_Discounts_Id;

SET TERM ^ ;

ALTER PROCEDURE Contract_Total (Contract_Id integer)
returns (Total numeric(15, 2))
as
begin
    /* только подтверждённые платежи; неподтверждённые -- в Customer_Debt */
    select coalesce(sum(p.Amount), 0)
    from Payments p join Accounts a on a.Id = p.Account_Id
    where a.Contract_Id = :Contract_Id and p.Is_Confirmed = 1
    into :Total;
    suspend;
end
^

SET TERM ; ^

/* ==== Порядок полей ==== */

ALTER TABLE Customers ALTER COLUMN Id POSITION 1;
ALTER TABLE Customers ALTER COLUMN Kind_Id POSITION 2;
ALTER TABLE Customers ALTER COLUMN Name POSITION 3;
ALTER TABLE Customers ALTER COLUMN Inn POSITION 4;
ALTER TABLE Customers ALTER COLUMN Kpp POSITION 5;
ALTER TABLE Customers ALTER COLUMN Discount_Percent POSITION 6;
ALTER TABLE Customers ALTER COLUMN City_Id POSITION 7;
ALTER TABLE Contracts ALTER COLUMN Region_Code POSITION 4;
ALTER TABLE Contracts ALTER COLUMN Plan_Months POSITION 9;
ALTER TABLE Payments ALTER COLUMN Is_Confirmed POSITION 7;
ALTER TABLE Payments ALTER COLUMN Confirmed_By POSITION 8;
alter table Tariffs alter column Valid_From position 4;

/* ==== Права ==== */

/* Revoke: update on Contracts to Kormant_Operator */
REVOKE UPDATE ON Contracts FROM Kormant_Operator;
/* Revoke: execute on procedure Customer_Discount to KORMANT_CLERK */
REVOKE EXECUTE ON PROCEDURE Customer_Discount FROM KORMANT_CLERK;
/* Revoke: select on Employees to KORMANT_CLERK */
REVOKE SELECT ON Employees FROM KORMANT_CLERK;

/* Create(Add) Crant */
GRANT UPDATE (State_Id) ON Contracts TO Kormant_Operator;
GRANT UPDATE (Phone, Address) ON Customers TO KORMANT_CLERK;
GRANT SELECT ON Payment_Plans TO PUBLIC;
GRANT SELECT ON Employees TO PUBLIC;
GRANT SELECT, INSERT, UPDATE, DELETE ON Payment_Plans TO Kormant_Accountant;
GRANT SELECT, INSERT ON Contract_Notes TO Kormant_Operator;
GRANT SELECT ON Contract_Notes TO Kormant_Reader;
GRANT SELECT ON Audit_Log TO Kormant_Accountant;
GRANT SELECT ON Audit_Log TO Kormant_Reader;
GRANT EXECUTE ON PROCEDURE Payment_In_Words TO PUBLIC;
GRANT EXECUTE ON PROCEDURE Plan_Payments TO Kormant_Accountant;
GRANT EXECUTE ON PROCEDURE Pay_By_Plan TO Kormant_Accountant;
GRANT EXECUTE ON PROCEDURE Customer_Debt TO Kormant_Operator;
GRANT EXECUTE ON PROCEDURE Customer_Debt TO Kormant_Accountant;
GRANT EXECUTE ON PROCEDURE Customer_Discount TO Kormant_Operator;
GRANT EXECUTE ON PROCEDURE Add_Payment TO Kormant_Operator;
GRANT SELECT ON Payment_Plans TO "1C";
GRANT SELECT ON Accounts TO "1C";
GRANT EXECUTE ON PROCEDURE Customer_Debt TO "1C";
GRANT EXECUTE ON PROCEDURE Payment_In_Words TO "1C";
GRANT SELECT ON Payment_Plans TO KORMANT_CLERK;
GRANT SELECT, INSERT ON Contract_Notes TO KORMANT_CLERK;
GRANT SELECT, UPDATE ON Payment_Plans TO PROCEDURE Pay_By_Plan;
GRANT SELECT ON Accounts TO PROCEDURE Pay_By_Plan;
GRANT EXECUTE ON PROCEDURE Add_Payment TO PROCEDURE Pay_By_Plan;
GRANT SELECT, INSERT, UPDATE, DELETE ON Payment_Plans TO PROCEDURE Plan_Payments;
GRANT SELECT ON Contracts TO PROCEDURE Plan_Payments;
GRANT SELECT ON Payment_Plans TO PROCEDURE Customer_Debt;
GRANT SELECT ON Contracts TO PROCEDURE Customer_Debt;
GRANT SELECT ON Customers TO PROCEDURE Customer_Discount;
GRANT EXECUTE ON PROCEDURE Payment_In_Words TO PROCEDURE Add_Payment;
GRANT INSERT ON Audit_Log TO TRIGGER Contracts_AU;
GRANT INSERT ON Audit_Log TO TRIGGER Customers_AIU;
GRANT INSERT ON Audit_Log TO TRIGGER Payments_BD;

Commit;

/* Исходные тексты процедур и пользовательских триггеров в базе не хранятся */
update RDB$PROCEDURES set RDB$PROCEDURE_SOURCE = null
where coalesce(RDB$SYSTEM_FLAG, 0) = 0;
update RDB$TRIGGERS set RDB$TRIGGER_SOURCE = null
where coalesce(RDB$SYSTEM_FLAG, 0) = 0
  and not exists (select 1 from RDB$CHECK_CONSTRAINTS cc where cc.RDB$TRIGGER_NAME = RDB$TRIGGERS.RDB$TRIGGER_NAME);
Commit;

/* ==== Справочные данные ==== */

SET NAMES WIN1251;
SET SQL DIALECT 3;
SET AUTODDL ON;

ALTER TRIGGER Cities_BI INACTIVE;
ALTER TRIGGER Tariffs_BI INACTIVE;
ALTER TRIGGER Customers_AIU INACTIVE;

insert into Cities (Id, Name /* город */, Region) values (11, 'Краснодар', 'Краснодарский край');
insert into Cities (Id, Name, Region) values (12, 'Пермь', 'Пермский край');
insert into Cities (Id, Name, Region) values (13, 'Уфа', 'Республика Башкортостан');
insert into Cities (Id, Name, Region) values (14, 'Орёл', 'Орловская область');
update Cities set Region = 'г. Москва' where Id = 1;
update Cities set Region = 'г. Санкт-Петербург' where Id = 2;
SET GENERATOR Gen_Cities_Id TO 14;

insert into Payment_Kinds (Id, Name) values (4, 'Взаимозачёт по акту ''сверки''');
insert into Payment_Kinds (Id, Name) values (5, 'Почтовый перевод; квитанция -- у клиента');
update Payment_Kinds set Name = 'Безналичный расчёт (платёжное поручение)' where Id = 2;

insert into Tariffs (Id, Name, Price, Valid_From) values (5, 'Стандарт ''2006''', 3500.00, '2006-07-01');
insert into Tariffs (Id, Name, Price, Valid_From) values (6, 'Премиум ''2006''', 8200.00, '2006-07-01');
delete from Tariffs where Id = 4 and not exists (select 1 from Contracts where Tariff_Id = 4);
SET GENERATOR Gen_Tariffs_Id TO 6;

-- delete from Audit_Log;
update Customers set Kpp = '770501001' where Id = 1;
update Customers set Kpp = '631501001' where Id = 5;
-- SET GENERATOR Gen_Audit_Log_Id TO 0;

ALTER TRIGGER Cities_BI ACTIVE;
ALTER TRIGGER Tariffs_BI ACTIVE;
ALTER TRIGGER Customers_AIU ACTIVE;
commit work;

/* ==== Исправления ==== */

ALTER INDEX IX_Payments_Doc_Num ACTIVE;
update Payments set Is_Confirmed = 1 where Paid_On < '2006-01-01';   
commit;

ALTER TRIGGER Contracts_AU INACTIVE;
update Contracts set State_Id = 2 where Id = 3 and State_Id = 1;
ALTER TRIGGER Contracts_AU ACTIVE;
commit;

update Employees set Login = upper(Login);
commit;
ALTER TABLE Employees ADD CONSTRAINT UQ_Employees_Login UNIQUE (Login);
commit;

/* ==== Статистика индексов ==== */

SET STATISTICS INDEX PK_Cities;
SET STATISTICS INDEX UQ_Cities_Name;
SET STATISTICS INDEX PK_Customer_Kinds;
SET STATISTICS INDEX PK_Customers;
SET STATISTICS INDEX FK_Customers_Kind;
SET STATISTICS INDEX FK_Customers_City;
SET STATISTICS INDEX PK_Tariffs;
SET STATISTICS INDEX PK_Contract_States;
SET STATISTICS INDEX PK_Employees;
SET STATISTICS INDEX PK_Contracts;
SET STATISTICS INDEX UQ_Contracts_Num;
SET STATISTICS INDEX FK_Contracts_Customer;
SET STATISTICS INDEX FK_Contracts_State;
SET STATISTICS INDEX FK_Contracts_Tariff;
SET STATISTICS INDEX PK_Accounts;
SET STATISTICS INDEX UQ_Accounts_Num;
SET STATISTICS INDEX FK_Accounts_Contract;
SET STATISTICS INDEX PK_Payment_Kinds;
SET STATISTICS INDEX PK_Payments;
SET STATISTICS INDEX FK_Payments_Account;
SET STATISTICS INDEX FK_Payments_Kind;
SET STATISTICS INDEX PK_Payment_Plans;
SET STATISTICS INDEX UQ_Payment_Plans_Month;
SET STATISTICS INDEX FK_Payment_Plans_Contract;
SET STATISTICS INDEX PK_Contract_Notes;
SET STATISTICS INDEX FK_Contract_Notes_Contract;
SET STATISTICS INDEX PK_Audit_Log;
SET STATISTICS INDEX UQ_Employees_Login;
SET STATISTICS INDEX IX_Customers_Name;
SET STATISTICS INDEX IX_Customers_Inn;
SET STATISTICS INDEX IX_Contracts_Signed;
SET STATISTICS INDEX IX_Payments_Paid_Desc;
SET STATISTICS INDEX IX_Payments_Doc_Num;
SET STATISTICS INDEX IX_Accounts_Opened;
SET STATISTICS INDEX IX_Employees_Login;

/* ==== Версия базы данных ==== */

update Attrs set Versio = 4;
commit;

/* ==== Конец обновления до версии 4 ==== */



