/* Kormant database at release 3: the schema, the reference data and a few working rows that
   the release-4 update script (resources/KormantUpdate4.sql) expects to find.

   UTF-8 text. Run it with a UTF-8 connection against a fresh database whose default character
   set is WIN1251, for example through sample/db/make-release3.sh:
     isql-fb -q -ch UTF8 -user SYSDBA -password ... localhost/3051:/path/Kormant.fdb -i kormant-release3.sql
   Without "-ch UTF8" the Cyrillic texts (exception message, reference rows) would be stored as
   raw bytes and read back garbled. */

set bail on;
set autoddl on;

/* ---- Version protocol ---- */

create exception E_Versio 'Версия базы данных не соответствует обновлению';

create table Attrs (
    Versio      integer not null,
    Firm_Name   varchar(100) not null,
    Firm_Inn    varchar(12),
    Updated_At  timestamp default current_timestamp
);

set term ^ ;

/* Fails unless the database is at the release just before NewVersio: an update script calls
   it first, so that it never runs against a database it was not written for. */
create procedure Check_Versio (NewVersio integer)
as
declare variable Cur integer;
begin
    select first 1 Versio from Attrs into :Cur;
    if (Cur is null or Cur <> NewVersio - 1) then
        exception E_Versio;
end^

set term ; ^

/* ---- Generators ---- */

create generator Gen_Cities_Id;
create generator Gen_Customers_Id;
create generator Gen_Tariffs_Id;
create generator Gen_Contracts_Id;
create generator Gen_Accounts_Id;
create generator Gen_Payments_Id;
create generator Gen_Employees_Id;
create generator Gen_Import_Log_Id;
create generator Gen_Old_Discounts_Id;
create generator Gen_Contract_Num;

/* ---- Tables ---- */

create table Cities (
    Id          integer not null,
    Name        varchar(60) not null,
    Region      varchar(60),
    constraint PK_Cities primary key (Id),
    constraint UQ_Cities_Name unique (Name)
);

create table Customer_Kinds (
    Id          smallint not null,
    Name        varchar(40) not null,
    Short_Name  varchar(10),
    constraint PK_Customer_Kinds primary key (Id)
);

create table Customers (
    Id          integer not null,
    Kind_Id     smallint not null,
    Name        varchar(120) not null,
    Inn         varchar(12),
    City_Id     integer,
    Address     varchar(200),
    Phone       varchar(30),
    Email       varchar(60),
    Is_Active   smallint default 1 not null,
    Created_At  timestamp default current_timestamp,
    Note        varchar(250),
    constraint PK_Customers primary key (Id),
    constraint FK_Customers_Kind foreign key (Kind_Id) references Customer_Kinds (Id),
    constraint FK_Customers_City foreign key (City_Id) references Cities (Id),
    constraint CHK_Customers_Active check (Is_Active in (0, 1))
);

create table Tariffs (
    Id          integer not null,
    Name        varchar(60) not null,
    Price       numeric(15, 2) default 0 not null,
    Is_Archive  smallint default 0 not null,
    constraint PK_Tariffs primary key (Id),
    constraint CHK_Tariffs_Price check (Price >= 0)
);

create table Contract_States (
    Id          smallint not null,
    Name        varchar(40) not null,
    constraint PK_Contract_States primary key (Id)
);

create table Employees (
    Id          integer not null,
    Full_Name   varchar(100) not null,
    Login       varchar(31),
    Post        varchar(60),
    constraint PK_Employees primary key (Id)
);

create table Contracts (
    Id          integer not null,
    Customer_Id integer not null,
    Num         varchar(20) not null,
    Signed_On   date not null,
    State_Id    smallint default 1 not null,
    Tariff_Id   integer,
    Amount      numeric(15, 2) default 0 not null,
    Closed_On   date,
    Manager     varchar(60),
    constraint PK_Contracts primary key (Id),
    constraint UQ_Contracts_Num unique (Num),
    constraint FK_Contracts_Customer foreign key (Customer_Id) references Customers (Id),
    constraint FK_Contracts_State foreign key (State_Id) references Contract_States (Id),
    constraint FK_Contracts_Tariff foreign key (Tariff_Id) references Tariffs (Id),
    constraint CHK_Contracts_Amount check (Amount >= 0),
    constraint CHK_Contracts_Dates check (Closed_On is null or Closed_On >= Signed_On)
);

create table Accounts (
    Id          integer not null,
    Contract_Id integer not null,
    Num         varchar(20) not null,
    Balance     numeric(15, 2) default 0 not null,
    Opened_On   date,
    constraint PK_Accounts primary key (Id),
    constraint UQ_Accounts_Num unique (Num),
    constraint FK_Accounts_Contract foreign key (Contract_Id) references Contracts (Id)
);

create table Payment_Kinds (
    Id          smallint not null,
    Name        varchar(60) not null,
    constraint PK_Payment_Kinds primary key (Id)
);

create table Payments (
    Id          integer not null,
    Account_Id  integer not null,
    Kind_Id     smallint not null,
    Paid_On     date not null,
    Amount      numeric(15, 2) not null,
    Doc_Num     varchar(20),
    Amount_In_Words varchar(100),
    Note        varchar(250),
    constraint PK_Payments primary key (Id),
    constraint FK_Payments_Account foreign key (Account_Id) references Accounts (Id),
    constraint FK_Payments_Kind foreign key (Kind_Id) references Payment_Kinds (Id),
    constraint CHK_Payments_Amount check (Amount > 0)
);

/* Left over from the data import of release 2; release 4 drops both tables. */
create table Import_Log (
    Id          integer not null,
    Loaded_At   timestamp default current_timestamp,
    File_Name   varchar(120),
    Rows_Loaded integer,
    constraint PK_Import_Log primary key (Id)
);

create table Old_Discounts (
    Id          integer not null,
    Customer_Id integer not null,
    Discount    numeric(5, 2) default 0 not null,
    constraint PK_Old_Discounts primary key (Id),
    constraint FK_Old_Discounts_Customer foreign key (Customer_Id) references Customers (Id)
);

/* ---- Indices ---- */

create index IX_Customers_Name on Customers (Name);
create index IX_Customers_Inn on Customers (Inn);
create index IX_Contracts_Signed on Contracts (Signed_On);
create descending index IX_Payments_Paid_Desc on Payments (Paid_On);
create index IX_Payments_Doc_Num on Payments (Doc_Num);
create index IX_Accounts_Opened on Accounts (Opened_On);
create index IX_Import_Log_Loaded on Import_Log (Loaded_At);
create index IX_Employees_Login on Employees (Login);
/* Switched off in release 3 while the document numbers were being cleaned up. */
alter index IX_Payments_Doc_Num inactive;

/* ---- The server-side function library (release 3 named it as on Windows) ---- */

declare external function UDF_INTEGER_IN_WORDS
    integer, integer
    returns cstring(100) free_it
    entry_point 'UDF_Integer_In_Words' module_name 'quv_udf.DLL';

/* ---- Triggers ---- */

set term ^ ;

create trigger Cities_BI for Cities active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Cities_Id, 1);
end^

create trigger Customers_BI for Customers active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Customers_Id, 1);
    new.Name = trim(new.Name);
end^

create trigger Customers_BU for Customers active before update position 0
as
begin
    new.Name = trim(new.Name);
end^

create trigger Tariffs_BI for Tariffs active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Tariffs_Id, 1);
end^

create trigger Employees_BI for Employees active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Employees_Id, 1);
end^

create trigger Contracts_BI for Contracts active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Contracts_Id, 1);
    if (new.Num is null) then
        new.Num = 'Д-' || gen_id(Gen_Contract_Num, 1);
end^

create trigger Accounts_BI for Accounts active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Accounts_Id, 1);
end^

create trigger Payments_BI for Payments active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Payments_Id, 1);
end^

/* The balance follows the payments. */
create trigger Payments_AI for Payments active after insert position 0
as
begin
    update Accounts set Balance = Balance + new.Amount where Id = new.Account_Id;
end^

create trigger Payments_AD for Payments active after delete position 0
as
begin
    update Accounts set Balance = Balance - old.Amount where Id = old.Account_Id;
end^

create trigger Import_Log_BI for Import_Log active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Import_Log_Id, 1);
end^

create trigger Old_Discounts_BI for Old_Discounts active before insert position 0
as
begin
    if (new.Id is null) then
        new.Id = gen_id(Gen_Old_Discounts_Id, 1);
end^

/* ---- Stored procedures ---- */

create procedure Add_Payment (Account_Id integer, Kind_Id smallint, Amount numeric(15, 2))
returns (Id integer)
as
begin
    Id = gen_id(Gen_Payments_Id, 1);
    insert into Payments (Id, Account_Id, Kind_Id, Paid_On, Amount)
    values (:Id, :Account_Id, :Kind_Id, current_date, :Amount);
    suspend;
end^

create procedure Customer_Balance (Customer_Id integer)
returns (Balance numeric(15, 2))
as
begin
    select coalesce(sum(a.Balance), 0)
    from Accounts a join Contracts c on c.Id = a.Contract_Id
    where c.Customer_Id = :Customer_Id
    into :Balance;
    suspend;
end^

create procedure Contract_Total (Contract_Id integer)
returns (Total numeric(15, 2))
as
begin
    select coalesce(sum(p.Amount), 0)
    from Payments p join Accounts a on a.Id = p.Account_Id
    where a.Contract_Id = :Contract_Id
    into :Total;
    suspend;
end^

create procedure Close_Contract (Contract_Id integer, Closed_On date)
as
begin
    update Contracts set State_Id = 3, Closed_On = :Closed_On where Id = :Contract_Id;
end^

create procedure Customer_Discount (Customer_Id integer)
returns (Discount numeric(5, 2))
as
begin
    Discount = 0;
    select first 1 Discount from Old_Discounts where Customer_Id = :Customer_Id
    into :Discount;
    suspend;
end^

create procedure Import_Cleanup (Keep_Days integer)
as
begin
    delete from Import_Log where Loaded_At < current_timestamp - :Keep_Days;
end^

create procedure Payments_Report (Date_From date, Date_To date)
returns (Paid_On date, Customer_Name varchar(120), Contract_Num varchar(20),
         Amount numeric(15, 2))
as
begin
    for select p.Paid_On, cu.Name, c.Num, p.Amount
        from Payments p
        join Accounts a on a.Id = p.Account_Id
        join Contracts c on c.Id = a.Contract_Id
        join Customers cu on cu.Id = c.Customer_Id
        where p.Paid_On between :Date_From and :Date_To
        order by p.Paid_On, cu.Name
        into :Paid_On, :Customer_Name, :Contract_Num, :Amount
    do
        suspend;
end^

set term ; ^

commit;

/* ---- Reference data ---- */

insert into Attrs (Versio, Firm_Name, Firm_Inn) values (3, 'ООО «Кормант»', '7701234567');

insert into Cities (Id, Name, Region) values (1, 'Москва', 'Москва');
insert into Cities (Id, Name, Region) values (2, 'Санкт-Петербург', 'Санкт-Петербург');
insert into Cities (Id, Name, Region) values (3, 'Екатеринбург', 'Свердловская область');
insert into Cities (Id, Name, Region) values (4, 'Новосибирск', 'Новосибирская область');
insert into Cities (Id, Name, Region) values (5, 'Казань', 'Республика Татарстан');
insert into Cities (Id, Name, Region) values (6, 'Нижний Новгород', 'Нижегородская область');
insert into Cities (Id, Name, Region) values (7, 'Самара', 'Самарская область');
insert into Cities (Id, Name, Region) values (8, 'Ростов-на-Дону', 'Ростовская область');
insert into Cities (Id, Name, Region) values (9, 'Воронеж', 'Воронежская область');
insert into Cities (Id, Name, Region) values (10, 'Тверь', 'Тверская область');
set generator Gen_Cities_Id to 10;

insert into Customer_Kinds (Id, Name, Short_Name) values (1, 'Физическое лицо', 'ФЛ');
insert into Customer_Kinds (Id, Name, Short_Name) values (2, 'Юридическое лицо', 'ЮЛ');
insert into Customer_Kinds (Id, Name, Short_Name) values (3, 'Индивидуальный предприниматель', 'ИП');

insert into Contract_States (Id, Name) values (1, 'Действует');
insert into Contract_States (Id, Name) values (2, 'Приостановлен');
insert into Contract_States (Id, Name) values (3, 'Расторгнут');

insert into Payment_Kinds (Id, Name) values (1, 'Наличные');
insert into Payment_Kinds (Id, Name) values (2, 'Безналичный расчёт');
insert into Payment_Kinds (Id, Name) values (3, 'Банковская карта');

insert into Tariffs (Id, Name, Price) values (1, 'Базовый', 1500.00);
insert into Tariffs (Id, Name, Price) values (2, 'Стандарт', 3200.00);
insert into Tariffs (Id, Name, Price) values (3, 'Премиум', 7800.00);
insert into Tariffs (Id, Name, Price, Is_Archive) values (4, 'Льготный (до 2006 г.)', 900.00, 1);
set generator Gen_Tariffs_Id to 4;

insert into Employees (Full_Name, Login, Post) values ('Петрова Анна Сергеевна', 'KORMANT_CLERK', 'Операционист');
insert into Employees (Full_Name, Login, Post) values ('Смирнов Олег Викторович', 'SMIRNOV', 'Главный бухгалтер');
insert into Employees (Full_Name, Login, Post) values ('Кузнецова Елена Павловна', 'KUZNETSOVA', 'Менеджер по договорам');

/* ---- Working rows ---- */

insert into Customers (Kind_Id, Name, Inn, City_Id, Address, Phone)
values (2, 'ООО "Ромашка"', '7705123456', 1, 'ул. Тверская, д. 7, оф. 12', '+7 495 123-45-67');
insert into Customers (Kind_Id, Name, Inn, City_Id, Address, Phone)
values (3, 'ИП Иванов Иван Иванович', '500100732259', 3, 'пр. Ленина, д. 50', '');
insert into Customers (Kind_Id, Name, Inn, City_Id, Address, Phone)
values (1, 'Сидорова Мария Петровна', null, 2, 'Невский пр., д. 28, кв. 4', '+7 812 555-01-02');
insert into Customers (Kind_Id, Name, Inn, City_Id, Address, Phone, Is_Active)
values (2, 'АО «Северный завод»', '7802000111', 2, 'ул. Заводская, д. 1', '', 0);
insert into Customers (Kind_Id, Name, Inn, City_Id, Address, Phone)
values (2, 'ЗАО "Волга-Сервис"', '6315987654', 7, 'ул. Московское шоссе, д. 4', '+7 846 200-30-40');

insert into Contracts (Customer_Id, Num, Signed_On, Tariff_Id, Amount, Manager)
values (1, 'Д-2005/001', '2005-03-14', 2, 38400.00, 'Кузнецова Е. П.');
insert into Contracts (Customer_Id, Num, Signed_On, Tariff_Id, Amount, Manager)
values (2, 'Д-2005/002', '2005-06-01', 1, 18000.00, 'Кузнецова Е. П.');
insert into Contracts (Customer_Id, Num, Signed_On, Tariff_Id, Amount, Manager)
values (3, 'Д-2006/001', '2006-01-20', 4, 10800.00, 'Смирнов О. В.');
insert into Contracts (Customer_Id, Num, Signed_On, State_Id, Tariff_Id, Amount, Closed_On, Manager)
values (4, 'Д-2004/017', '2004-11-02', 3, 3, 93600.00, '2006-02-28', 'Кузнецова Е. П.');
insert into Contracts (Customer_Id, Num, Signed_On, Tariff_Id, Amount, Manager)
values (5, 'Д-2006/002', '2006-04-10', 3, 93600.00, 'Кузнецова Е. П.');

insert into Accounts (Contract_Id, Num, Opened_On) values (1, '40702810000000000001', '2005-03-14');
insert into Accounts (Contract_Id, Num, Opened_On) values (2, '40802810000000000002', '2005-06-01');
insert into Accounts (Contract_Id, Num, Opened_On) values (3, '40817810000000000003', '2006-01-20');
insert into Accounts (Contract_Id, Num, Opened_On) values (4, '40702810000000000004', '2004-11-02');
insert into Accounts (Contract_Id, Num, Opened_On) values (5, '40702810000000000005', '2006-04-10');

insert into Payments (Account_Id, Kind_Id, Paid_On, Amount, Doc_Num, Note)
values (1, 2, '2005-04-01', 3200.00, 'ПП-101', 'Оплата за апрель');
insert into Payments (Account_Id, Kind_Id, Paid_On, Amount, Doc_Num, Note)
values (1, 2, '2005-05-04', 3200.00, 'ПП-148', 'Оплата за май');
insert into Payments (Account_Id, Kind_Id, Paid_On, Amount, Doc_Num)
values (2, 1, '2005-06-15', 1500.00, 'ПКО-7');
insert into Payments (Account_Id, Kind_Id, Paid_On, Amount, Doc_Num)
values (3, 3, '2006-02-01', 900.00, null);
insert into Payments (Account_Id, Kind_Id, Paid_On, Amount, Doc_Num, Note)
values (4, 2, '2005-12-20', 7800.00, 'ПП-990', 'Последний платёж перед расторжением');
insert into Payments (Account_Id, Kind_Id, Paid_On, Amount, Doc_Num)
values (5, 2, '2006-05-05', 7800.00, 'ПП-1204');

insert into Import_Log (Loaded_At, File_Name, Rows_Loaded)
values ('2005-02-01 10:15:00', 'clients_2004.dbf', 412);
insert into Import_Log (Loaded_At, File_Name, Rows_Loaded)
values ('2005-02-01 10:17:30', 'contracts_2004.dbf', 388);

insert into Old_Discounts (Customer_Id, Discount) values (1, 5.00);
insert into Old_Discounts (Customer_Id, Discount) values (5, 2.50);

commit;

/* ---- Roles and privileges ---- */

create role Kormant_Operator;
create role Kormant_Accountant;
create role Kormant_Reader;

grant Kormant_Operator to KORMANT_CLERK;
grant Kormant_Reader to SMIRNOV;
grant Kormant_Accountant to SMIRNOV;

grant select on Attrs to public;
grant execute on procedure Check_Versio to public;
grant select on Cities to public;
grant select on Customer_Kinds to public;
grant select on Contract_States to public;
grant select on Payment_Kinds to public;
grant select on Tariffs to public;

grant select, insert, update on Customers to Kormant_Operator;
grant select, insert, update on Contracts to Kormant_Operator;
grant select, insert on Accounts to Kormant_Operator;
grant select on Payments to Kormant_Operator;
grant execute on procedure Close_Contract to Kormant_Operator;
grant execute on procedure Customer_Balance to Kormant_Operator;

grant select on Customers to Kormant_Accountant;
grant select on Contracts to Kormant_Accountant;
grant select, update on Accounts to Kormant_Accountant;
grant select, insert, update, delete on Payments to Kormant_Accountant;
grant execute on procedure Add_Payment to Kormant_Accountant;
grant execute on procedure Contract_Total to Kormant_Accountant;
grant execute on procedure Payments_Report to Kormant_Accountant;

grant select on Customers to Kormant_Reader;
grant select on Contracts to Kormant_Reader;
grant select on Accounts to Kormant_Reader;
grant select on Payments to Kormant_Reader;
grant execute on procedure Payments_Report to Kormant_Reader;

grant select on Employees to KORMANT_CLERK;
grant select on Import_Log to KORMANT_CLERK;
grant execute on procedure Customer_Discount to KORMANT_CLERK;
grant select on Old_Discounts to KORMANT_CLERK;

/* The accounting exchange of 1C logs in under this name. */
grant select on Customers to "1C";
grant select on Contracts to "1C";
grant select on Payments to "1C";
grant execute on procedure Payments_Report to "1C";

/* What the procedures and triggers themselves touch. */
grant select, insert on Payments to procedure Add_Payment;
grant select on Accounts to procedure Customer_Balance;
grant select on Contracts to procedure Customer_Balance;
grant select on Payments to procedure Contract_Total;
grant select on Accounts to procedure Contract_Total;
grant update on Contracts to procedure Close_Contract;
grant select on Old_Discounts to procedure Customer_Discount;
grant delete, select on Import_Log to procedure Import_Cleanup;
grant select on Attrs to procedure Check_Versio;
grant update, select on Accounts to trigger Payments_AI;
grant update, select on Accounts to trigger Payments_AD;

commit;
