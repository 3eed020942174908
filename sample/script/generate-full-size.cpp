// Writes a full-size release-4 update script for benchmarks: the frame and lexical form of
// resources/KormantUpdate4.sql at the size of a real release (about 3,400 statements, 900 KB),
// windows-1251 with CR LF line ends. It runs on the sample release-3 database
// (sample/db/kormant-release3.sql) and only touches objects that exist there or that it creates.
//
//   generate-full-size OUT
//
// The output is the same on every run: the benchmark compares runs of the same bytes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

// The text is built in UTF-8 for readability here and converted once at the end.
std::string Out;

void Line(const std::string& text) {
    Out += text;
    Out += '\n';
}

std::string Num(long value) {
    return std::to_string(value);
}

// Two digits, as region codes and document numbers are written.
std::string Two(long value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// UTF-8 to windows-1251 for the characters this generator writes; anything else is a bug here.
std::string ToCp1251(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            result += text[i] == '\n' ? std::string("\r\n") : std::string(1, text[i]);
            ++i;
            continue;
        }
        unsigned code = 0;
        std::size_t length = 0;
        if ((c & 0xE0) == 0xC0) {
            code = c & 0x1Fu;
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0Fu;
            length = 3;
        } else {
            std::cerr << "unexpected byte in the script text\n";
            std::exit(1);
        }
        for (std::size_t k = 1; k < length; ++k) {
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        i += length;
        unsigned char byte = 0;
        if (code >= 0x410 && code <= 0x44F) {
            byte = static_cast<unsigned char>(code - 0x410 + 0xC0);
        } else if (code == 0x401) {
            byte = 0xA8; // Ё
        } else if (code == 0x451) {
            byte = 0xB8; // ё
        } else if (code == 0xAB) {
            byte = 0xAB; // «
        } else if (code == 0xBB) {
            byte = 0xBB; // »
        } else if (code == 0x2014) {
            byte = 0x97; // —
        } else if (code == 0x2116) {
            byte = 0xB9; // №
        } else {
            std::cerr << "no windows-1251 form for U+" << std::hex << code << "\n";
            std::exit(1);
        }
        result += static_cast<char>(byte);
    }
    return result;
}

// ---- The objects the script works on ----

// Procedures of release 3 that the update drops and writes anew (none depends on another).
const Names kRewritten = {"Add_Payment",    "Customer_Balance",  "Contract_Total",
                          "Close_Contract", "Customer_Discount", "Import_Cleanup",
                          "Payments_Report"};
// New procedures of release 4.
const Names kNewProcedures = {
    "Rep_Debtors",        "Rep_Turnover",      "Rep_Contract_Card", "Rep_Customer_Card",
    "Rep_Daily_Cash",     "Rep_Monthly_Sales", "Rep_Tariff_Usage",  "Rep_City_Summary",
    "Rep_Manager_Load",   "Rep_Closed",        "Rep_Suspended",     "Rep_Vat",
    "Calc_Penalty",       "Calc_Plan",         "Calc_Balance",      "Calc_Discount",
    "Calc_Vat",           "Check_Contract",    "Check_Customer",    "Check_Payment",
    "Doc_Register",       "Doc_Confirm",       "Doc_Cancel",        "Price_On_Date",
    "Region_Of_Customer",
};

Names AllProcedures() {
    Names all = kRewritten;
    all.insert(all.end(), kNewProcedures.begin(), kNewProcedures.end());
    return all;
}

const Names kTables = {"Attrs",         "Cities",          "Customer_Kinds", "Customers",
                       "Tariffs",       "Contract_States", "Employees",      "Contracts",
                       "Accounts",      "Payment_Kinds",   "Payments",       "Region_Codes",
                       "Price_History", "Document_Log"};
const Names kGrantees = {
    "PUBLIC",           "KORMANT_CLERK",      "SMIRNOV",       "KUZNETSOVA", "\"1C\"",
    "Kormant_Operator", "Kormant_Accountant", "Kormant_Reader"};

// Triggers of release 3 that the update writes anew, with their table, event and generator.
struct TTrigger {
    std::string Name, Table, Event, Generator;
};
const std::vector<TTrigger> kTriggers = {
    {"Cities_BI", "Cities", "BEFORE INSERT", "Gen_Cities_Id"},
    {"Customers_BI", "Customers", "BEFORE INSERT", "Gen_Customers_Id"},
    {"Customers_BU", "Customers", "BEFORE UPDATE", ""},
    {"Tariffs_BI", "Tariffs", "BEFORE INSERT", "Gen_Tariffs_Id"},
    {"Employees_BI", "Employees", "BEFORE INSERT", "Gen_Employees_Id"},
    {"Contracts_BI", "Contracts", "BEFORE INSERT", "Gen_Contracts_Id"},
    {"Accounts_BI", "Accounts", "BEFORE INSERT", "Gen_Accounts_Id"},
    {"Payments_BI", "Payments", "BEFORE INSERT", "Gen_Payments_Id"},
    {"Payments_AI", "Payments", "AFTER INSERT", ""},
    {"Payments_AD", "Payments", "AFTER DELETE", ""},
    {"Price_History_BI", "Price_History", "BEFORE INSERT", "Gen_Price_History_Id"},
    {"Document_Log_BI", "Document_Log", "BEFORE INSERT", "Gen_Document_Log_Id"},
};

// Every index of the database after the update, named after its constraint or given a name.
const Names kIndices = {
    "PK_Cities",
    "UQ_Cities_Name",
    "PK_Customer_Kinds",
    "PK_Customers",
    "FK_Customers_Kind",
    "FK_Customers_City",
    "PK_Tariffs",
    "UQ_Tariffs_Name",
    "PK_Contract_States",
    "PK_Employees",
    "UQ_Employees_Login",
    "PK_Contracts",
    "UQ_Contracts_Num",
    "FK_Contracts_Customer",
    "FK_Contracts_State",
    "FK_Contracts_Tariff",
    "PK_Accounts",
    "UQ_Accounts_Num",
    "FK_Accounts_Contract",
    "PK_Payment_Kinds",
    "PK_Payments",
    "FK_Payments_Account",
    "FK_Payments_Kind",
    "PK_Region_Codes",
    "UQ_Region_Codes_Name",
    "PK_Price_History",
    "UQ_Price_History",
    "FK_Price_History_Tariff",
    "FK_Price_History_Employee",
    "PK_Document_Log",
    "UQ_Document_Log",
    "FK_Document_Log_Customer",
    "FK_Document_Log_Employee",
    "IX_Customers_Name",
    "IX_Customers_Inn",
    "IX_Contracts_Signed",
    "IX_Payments_Paid_Desc",
    "IX_Payments_Doc_Num",
    "IX_Accounts_Opened",
    "IX_Employees_Login",
};

// Column order of the tables after the update.
struct TColumns {
    std::string Table;
    Names Columns;
};
const std::vector<TColumns> kColumnOrder = {
    {"Customers",
     {"Id", "Kind_Id", "Name", "Inn", "Kpp", "Okpo", "City_Id", "Region_Code", "Address", "Phone",
      "Bank_Name", "Bank_Bik", "Corr_Account", "Discount_Percent", "Is_Active", "Created_At",
      "Updated_At", "Note"}},
    {"Contracts",
     {"Id", "Customer_Id", "Num", "Region_Code", "Signed_On", "Signed_By", "State_Id", "Tariff_Id",
      "Amount", "Plan_Months", "Penalty_Percent", "Prolonged", "Closed_On", "Manager"}},
    {"Payments",
     {"Id", "Account_Id", "Kind_Id", "Paid_On", "Amount", "Vat_Amount", "Doc_Num", "Is_Confirmed",
      "Confirmed_By", "Confirmed_At", "Note"}},
    {"Accounts",
     {"Id", "Contract_Id", "Num", "Currency", "Balance", "Credit_Limit", "Opened_On", "Closed_On"}},
    {"Tariffs", {"Id", "Name", "Price", "Vat_Rate", "Unit_Name", "Valid_From", "Is_Archive"}},
    {"Employees", {"Id", "Full_Name", "Login", "Post", "Phone", "Email", "Is_Fired"}},
    {"Document_Log",
     {"Id", "Doc_Kind", "Doc_Num", "Written_At", "Customer_Id", "Employee_Id", "Signed", "Note"}},
    {"Price_History",
     {"Id", "Tariff_Id", "Valid_From", "Price", "Currency", "Changed_By_Id", "Note"}},
    {"Cities", {"Id", "Name", "Region", "Phone_Code", "Population"}},
    {"Payment_Kinds", {"Id", "Name", "Is_Cash"}},
    {"Contract_States", {"Id", "Name", "Is_Final"}},
};

// ---- Pieces of the text ----

const char* const kParameters = "(Key_Id integer, Date_From date, Date_To date)\n"
                                "returns (Total numeric(15, 2), Cnt integer, Note varchar(250))";

// One step of a procedure body that reads the tables of release 4. The steps keep the output
// parameters within their types whatever the data; comments of both kinds sit inside.
std::string TableStep(int step) {
    const std::string n = Num(step);
    switch (step % 5) {
    case 0:
        return "    /* Шаг " + n +
               ": платежи по договору за период */\n"
               "    select count(*), coalesce(sum(p.Amount), 0)\n"
               "    from Payments p join Accounts a on a.Id = p.Account_Id\n"
               "    where a.Contract_Id = :Key_Id and p.Paid_On between :Date_From and :Date_To\n"
               "    into :Cnt, :Total;\n";
    case 1:
        return "    /* Клиент договора и его скидка\n"
               "       (с версии 4 скидка хранится в карточке клиента) */\n"
               "    select first 1 c.Discount_Percent\n"
               "    from Customers c join Contracts k on k.Customer_Id = c.Id\n"
               "    where k.Id = :Key_Id and c.Is_Active = 1\n"
               "    into :Total;\n"
               "    Total = coalesce(Total, 0) + " +
               Num(step % 97) + ";\n";
    case 2:
        return "    for select t.Price from Tariffs t\n"
               "        join Contracts k on k.Tariff_Id = t.Id\n"
               "        where k.Id = :Key_Id and t.Valid_From <= :Date_To\n"
               "        into :Total\n"
               "    do\n"
               "        Cnt = Cnt + 1; /* тариф " +
               n + " */\n";
    case 3:
        return "    Note = 'Договор ''' || coalesce((select Num from Contracts where Id = "
               ":Key_Id), '?') || '''';\n";
    default:
        return "    select count(*) from Document_Log d\n"
               "    where d.Customer_Id = (select Customer_Id from Contracts where Id = :Key_Id)\n"
               "      and d.Doc_Kind = " +
               Num(1 + step % 5) +
               "\n"
               "    into :Cnt;\n";
    }
}

// A step that only computes: the server allows 256 table references in one procedure, and the
// long procedures would exceed that with table steps alone.
std::string ComputeStep(int step) {
    const std::string n = Num(step);
    switch (step % 3) {
    case 0:
        return "    /* Шаг " + n +
               ": счётчик */\n"
               "    I = I + " +
               n +
               ";\n"
               "    if (I > 1000000) then\n"
               "        I = mod(I, 1000); -- счётчик не растёт без предела\n";
    case 1:
        return "    if (Cnt > " + n +
               ") then\n"
               "        Note = 'Шаг " +
               n + ": записей больше " + n +
               "; проверьте график';\n"
               "    else\n"
               "        Note = substring(coalesce(Note, '') || '.' from 1 for 200);\n";
    default:
        return "    /* Многострочный комментарий\n"
               "       шага " +
               n +
               " */\n"
               "    if (Total is null) then Total = 0;\n"
               "    Cnt = coalesce(Cnt, 0) + mod(I, 7);\n";
    }
}

std::string BodyStep(int step) {
    return step % 4 == 0 ? TableStep(step / 4) : ComputeStep(step);
}

void EmptyProcedure(const std::string& verb, const std::string& name) {
    Line(verb + " PROCEDURE " + name + " " + kParameters);
    Line("as");
    Line("BEGIN EXIT; END");
    Line("^");
    Line("");
}

void FullProcedure(const std::string& name, int steps, int seed) {
    Line("ALTER PROCEDURE " + name + " " + kParameters);
    Line("as");
    Line("declare variable I integer;");
    Line("begin");
    Line("    /* " + name + ": версия 4 */");
    Line("    Total = 0;");
    Line("    Cnt = 0;");
    Line("    I = 0;");
    for (int step = 0; step < steps; ++step) {
        Out += BodyStep(seed + step);
    }
    Line("    suspend;");
    Line("end");
    Line("^");
    Line("");
}

void TriggerBody(const TTrigger& trigger, int version) {
    Line("as");
    Line("begin");
    Line("    /* редакция " + Num(version) + " */");
    if (!trigger.Generator.empty()) {
        Line("    if (new.Id is null) then");
        Line("        new.Id = gen_id(" + trigger.Generator + ", 1);");
    } else if (trigger.Name == "Customers_BU") {
        Line("    new.Name = trim(new.Name);");
        Line("    new.Updated_At = current_timestamp;");
    } else if (trigger.Name == "Payments_AI") {
        Line("    update Accounts set Balance = Balance + new.Amount where Id = new.Account_Id;");
    } else {
        Line("    update Accounts set Balance = Balance - old.Amount where Id = old.Account_Id;");
    }
    Line("end");
    Line("^");
    Line("");
}

void EmptiedTrigger(const TTrigger& trigger) {
    Line("ALTER TRIGGER " + trigger.Name);
    Line("AS");
    Line("DECLARE VARIABLE Dummy INTEGER;");
    Line("BEGIN");
    Line("  Dummy = 0;");
    Line("END");
    Line("^");
    Line("");
}

// A note of a document: some with doubled quotes, semicolons, "--" or line breaks inside.
std::string DocumentNote(int id) {
    switch (id % 23) {
    case 0:
        return "'Акт сверки по договору ''Д-" + Num(id) + "''; подписан обеими сторонами'";
    case 5:
        return "'Счёт ''№" + Num(id) + "'' выставлен повторно'";
    case 11:
        return "'Платёж возвращён -- неверные реквизиты'";
    case 17:
        return id % 3 == 0 ? "'Письмо клиенту:\nпросим погасить задолженность;\nс уважением, "
                             "бухгалтерия'"
                           : "'Претензия ''№" + Num(id) + "''; срок ответа 10 дней'";
    default:
        return "'Документ " + Num(id) + " по клиенту'";
    }
}

const char* const kRegionWords[] = {"Северный",   "Южный",  "Западный", "Восточный", "Центральный",
                                    "Приморский", "Горный", "Озёрный",  "Лесной",    "Степной"};

// ---- The script ----

void Header() {
    Line("/* Server version: LI-V3.0.11.33637 Firebird 3.0");
    Line("SQLDialect: 3. ODS: 12.0. Forced writes: On. Sweep interval: 20000.");
    Line("Page size: 8192. Cache pages: 2048 (16384 Kb). Read-only: False. */");
    Line("");
    Line("/* Обновление базы данных «Кормант» с версии 3 на версию 4 (полный объём).");
    Line("   Создано генератором generate-full-size для замеров скорости. */");
    Line("");
    Line("SET NAMES WIN1251;");
    Line("SET SQL DIALECT 3;");
    Line("SET AUTODDL ON;");
    Line("RECONNECT;");
    Line("");
    Line("/* Проверка версии базы данных */");
    Line("execute procedure Check_Versio(4);");
    Line("commit;");
    Line("reconnect;");
    Line("");
}

void Preparation() {
    Line("/* ---- Заявка 401: подготовка данных ---- */");
    Line("SET GENERATOR Gen_Import_Log_Id TO 0;");
    Line("SET GENERATOR Gen_Old_Discounts_Id TO 0;");
    Line("delete from Import_Log;");
    Line("delete from Old_Discounts where Customer_Id not in (select Id from Customers);");
    Line("update Customers set Phone = null where Phone = '';");
    Line("update Customers set Inn = '' where Inn is null;");
    Line("update Payments set Doc_Num = 'б/н' where Doc_Num is null;");
    Line("update Accounts set Opened_On = '2004-01-01' where Opened_On is null;");
    Line("Commit;");
    Line("/* ---- конец заявки 401 ---- */");
    Line("");
}

void ConstraintRemovals() {
    const char* const groups[3][3][2] = {
        {{"Old_Discounts", "FK_Old_Discounts_Customer"},
         {"Contracts", "CHK_Contracts_Amount"},
         {"Accounts", "UQ_Accounts_Num"}},
        {{"Payments", "CHK_Payments_Amount"},
         {"Tariffs", "CHK_Tariffs_Price"},
         {"Customers", "CHK_Customers_Active"}},
        {{"Contracts", "CHK_Contracts_Dates"},
         {"Contracts", "FK_Contracts_Tariff"},
         {"Customers", "FK_Customers_City"}},
    };
    Line("/* Drop Constraint... */");
    for (int g = 0; g < 3; ++g) {
        for (const auto& drop : groups[g]) {
            Line(std::string("ALTER TABLE ") + drop[0] + " DROP CONSTRAINT " + drop[1] + ";");
        }
        if (g < 2) {
            Line("RECONNECT;");
        }
        Line("");
    }
}

void DependantsAndDrops() {
    Line("SET TERM ^ ;");
    Line("");
    Line("/* Alter Procedure... */");
    // Their tables go below; the procedures are written anew further down.
    Line("ALTER PROCEDURE Customer_Discount (Customer_Id integer)");
    Line("returns (Discount numeric(5, 2))");
    Line("as");
    Line("BEGIN EXIT; END");
    Line("^");
    Line("");
    Line("ALTER PROCEDURE Import_Cleanup (Keep_Days integer)");
    Line("as");
    Line("BEGIN EXIT; END");
    Line("^");
    Line("");
    Line("SET TERM ; ^");
    Line("");
    Line("/* Drop Procedure... */");
    for (const auto& name : kRewritten) {
        Line("DROP PROCEDURE " + name + ";");
    }
    Line("");
    Line("/* Drop Trigger... */");
    Line("DROP TRIGGER Import_Log_BI;");
    Line("DROP TRIGGER Old_Discounts_BI;");
    Line("DROP TRIGGER Customers_BU;");
    Line("");
}

void ExternalFunction() {
    Line("DROP EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS;");
    Line("");
    Line("DECLARE EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS");
    Line("    INTEGER, INTEGER");
    Line("    RETURNS CSTRING(100) FREE_IT");
    Line("    ENTRY_POINT 'UDF_Integer_In_Words' MODULE_NAME 'QUV_UDF.dll';");
    Line("");
    Line("COMMENT ON EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS IS 'Целое число прописью; второй "
         "аргумент: род (0 — мужской, 1 — женский, 2 — средний)';");
    Line("");
}

void Tables() {
    Line("/* Create Table... */");
    Line("CREATE TABLE Region_Codes (");
    Line("    Code        char(2) not null,");
    Line("    Name        varchar(80) not null,");
    Line("    Okato       varchar(11),");
    Line("    Note        varchar(250)");
    Line(");");
    Line("");
    Line("CREATE TABLE Price_History (");
    Line("    Id          integer not null,");
    Line("    Tariff_Id   integer not null,");
    Line("    Valid_From  date not null,");
    Line("    Price       numeric(15, 2) default 0 not null,");
    Line("    Changed_By_Id integer,");
    Line("    Note        varchar(250)");
    Line(");");
    Line("");
    Line("CREATE TABLE Document_Log (");
    Line("    Id          integer not null,");
    Line("    Doc_Kind    smallint not null,");
    Line("    Doc_Num     varchar(20) not null,");
    Line("    Written_At  timestamp default current_timestamp not null,");
    Line("    Customer_Id integer,");
    Line("    Employee_Id integer,");
    Line("    Note        varchar(1000)");
    Line(");");
    Line("");
    const char* const columns[][2] = {
        {"Customers", "Kpp varchar(9) default '' not null"},
        {"Customers", "Discount_Percent numeric(5, 2) default 0 not null"},
        {"Customers", "Updated_At timestamp"},
        {"Customers", "Okpo varchar(10) default '' not null"},
        {"Customers", "Region_Code char(2) default '77' not null"},
        {"Customers", "Bank_Name varchar(120) default '' not null"},
        {"Customers", "Bank_Bik varchar(9) default '' not null"},
        {"Customers", "Corr_Account varchar(20) default '' not null"},
        {"Contracts", "Region_Code char(2) default '77' not null"},
        {"Contracts", "Plan_Months smallint default 12 not null"},
        {"Contracts", "Penalty_Percent numeric(5, 2) default 0 not null"},
        {"Contracts", "Prolonged smallint default 0 not null"},
        {"Contracts", "Signed_By varchar(100) default '' not null"},
        {"Payments", "Is_Confirmed smallint default 0 not null"},
        {"Payments", "Confirmed_By varchar(31)"},
        {"Payments", "Confirmed_At timestamp"},
        {"Payments", "Vat_Amount numeric(15, 2) default 0 not null"},
        {"Accounts", "Credit_Limit numeric(15, 2) default 0 not null"},
        {"Accounts", "Closed_On date"},
        {"Accounts", "Currency char(3) default 'RUB' not null"},
        {"Tariffs", "Valid_From date default '2000-01-01' not null"},
        {"Tariffs", "Vat_Rate numeric(5, 2) default 18 not null"},
        {"Tariffs", "Unit_Name varchar(20) default 'мес.' not null"},
        {"Employees", "Phone varchar(30) default '' not null"},
        {"Employees", "Email varchar(60) default '' not null"},
        {"Employees", "Is_Fired smallint default 0 not null"},
        {"Cities", "Phone_Code varchar(5) default '' not null"},
        {"Cities", "Population integer default 0 not null"},
        {"Payment_Kinds", "Is_Cash smallint default 0 not null"},
        {"Contract_States", "Is_Final smallint default 0 not null"},
        {"Document_Log", "Signed smallint default 0 not null"},
        {"Price_History", "Currency char(3) default 'RUB' not null"},
    };
    Line("/* Alter Table (Add column)... */");
    for (const auto& column : columns) {
        Line(std::string("ALTER TABLE ") + column[0] + " ADD " + column[1] + ";");
    }
    Line("");
    const char* const comments[][2] = {
        {"Customers.Kpp", "КПП организации (для ИП и физических лиц пустой)"},
        {"Customers.Discount_Percent", "Скидка клиента, %; заменяет таблицу Old_Discounts"},
        {"Customers.Okpo", "Код ОКПО"},
        {"Customers.Region_Code", "Код региона (''77'' — Москва)"},
        {"Customers.Bank_Bik", "БИК банка клиента"},
        {"Contracts.Region_Code", "Код региона договора"},
        {"Contracts.Plan_Months", "Срок графика платежей, месяцев"},
        {"Contracts.Penalty_Percent", "Пеня за день просрочки, %"},
        {"Payments.Doc_Num", "Номер платёжного документа -- «б/н», если номера нет"},
        {"Payments.Is_Confirmed", "Платёж подтверждён бухгалтерией: 0 — нет, 1 — да"},
        {"Payments.Vat_Amount", "Сумма НДС"},
        {"Accounts.Credit_Limit", "Кредитный лимит счёта"},
        {"Tariffs.Vat_Rate", "Ставка НДС, %"},
        {"Document_Log.Doc_Kind", "Вид документа: 1 — счёт, 2 — акт, 3 — письмо, 4 — "
                                  "претензия, 5 — прочее"},
    };
    for (const auto& comment : comments) {
        Line(std::string("COMMENT ON COLUMN ") + comment[0] + " IS '" + comment[1] + "';");
    }
    Line("");
    Line("COMMENT ON TABLE Region_Codes IS 'Коды регионов';");
    Line("COMMENT ON TABLE Price_History IS 'История цен тарифов.\nЦена действует с даты "
         "Valid_From;\nпредыдущая цена -- до неё.';");
    Line("COMMENT ON TABLE Document_Log IS 'Журнал документов по клиентам';");
    Line("COMMENT ON TABLE Customers IS 'Клиенты: физические и юридические лица, ИП';");
    Line("");
    Line("/* Alter Column... */");
    Line("ALTER TABLE Contracts ALTER COLUMN Manager TYPE varchar(100);");
    Line("ALTER TABLE Accounts ALTER COLUMN Opened_On SET DEFAULT current_date;");
    Line("");
    Line("/* Обязательные поля (в версии для Firebird 2.0 — через RDB$RELATION_FIELDS) */");
    Line("ALTER TABLE Customers ALTER COLUMN Inn SET NOT NULL;");
    Line("ALTER TABLE Payments ALTER COLUMN Doc_Num SET NOT NULL;");
    Line("ALTER TABLE Accounts ALTER COLUMN Opened_On SET NOT NULL;");
    Line("");
    Line("update Customers c set c.Discount_Percent =");
    Line("    coalesce((select max(d.Discount) from Old_Discounts d where d.Customer_Id = c.Id), "
         "0);");
    Line("commit;");
    Line("");
    Line("/* Alter Table (Drop column)... */");
    Line("ALTER TABLE Customers DROP Email;");
    Line("ALTER TABLE Customer_Kinds DROP Short_Name;");
    Line("ALTER TABLE Payments DROP Amount_In_Words;");
    Line("");
    Line("/* Drop Table... */");
    Line("DROP TABLE Old_Discounts;");
    Line("DROP TABLE Import_Log;");
    Line("RECONNECT;");
    Line("");
}

void NewProcedures() {
    Line("SET TERM ^ ;");
    Line("");
    Line("/* Create Procedure... */");
    for (const auto& name : AllProcedures()) {
        EmptyProcedure("CREATE", name);
    }
    Line("SET TERM ; ^");
    Line("");
    int i = 0;
    for (const auto& name : AllProcedures()) {
        Line("COMMENT ON PROCEDURE " + name + " IS 'Отчёт или расчёт №" + Num(++i) + " версии 4';");
    }
    // The reports' descriptions were reworded once more.
    for (std::size_t k = 0; k < 5; ++k) {
        Line("COMMENT ON PROCEDURE " + kNewProcedures[k] + " IS 'Отчёт ''" + kNewProcedures[k] +
             "'': форма для печати';");
    }
    Line("");
}

void GeneratorsAndConstraints() {
    Line("/* Create Generator... */");
    for (const char* name :
         {"Gen_Price_History_Id", "Gen_Document_Log_Id", "Gen_Doc_Num", "Gen_Region_Order"}) {
        Line(std::string("CREATE GENERATOR ") + name + ";");
    }
    Line("");
    Line("ALTER TABLE Region_Codes ADD CONSTRAINT PK_Region_Codes PRIMARY KEY (Code);");
    Line("ALTER TABLE Price_History ADD CONSTRAINT PK_Price_History PRIMARY KEY (Id);");
    Line("ALTER TABLE Document_Log ADD CONSTRAINT PK_Document_Log PRIMARY KEY (Id);");
    Line("");
    Line("ALTER TABLE Accounts ADD CONSTRAINT UQ_Accounts_Num UNIQUE (Num);");
    Line("ALTER TABLE Region_Codes ADD CONSTRAINT UQ_Region_Codes_Name UNIQUE (Name);");
    Line("ALTER TABLE Price_History ADD CONSTRAINT UQ_Price_History UNIQUE (Tariff_Id, "
         "Valid_From);");
    Line("ALTER TABLE Document_Log ADD CONSTRAINT UQ_Document_Log UNIQUE (Doc_Kind, Doc_Num);");
    Line("ALTER TABLE Tariffs ADD CONSTRAINT UQ_Tariffs_Name UNIQUE (Name);");
    Line("RECONNECT;");
    Line("");
    Line("ALTER TABLE Contracts ADD CONSTRAINT FK_Contracts_Tariff FOREIGN KEY (Tariff_Id) "
         "REFERENCES Tariffs (Id);");
    Line("ALTER TABLE Customers ADD CONSTRAINT FK_Customers_City FOREIGN KEY (City_Id) "
         "REFERENCES Cities (Id);");
    Line("ALTER TABLE Price_History ADD CONSTRAINT FK_Price_History_Tariff FOREIGN KEY "
         "(Tariff_Id) REFERENCES Tariffs (Id) ON DELETE CASCADE;");
    Line("ALTER TABLE Price_History ADD CONSTRAINT FK_Price_History_Employee FOREIGN KEY "
         "(Changed_By_Id) REFERENCES Employees (Id) ON DELETE SET NULL;");
    Line("ALTER TABLE Document_Log ADD CONSTRAINT FK_Document_Log_Customer FOREIGN KEY "
         "(Customer_Id) REFERENCES Customers (Id);");
    Line("ALTER TABLE Document_Log ADD CONSTRAINT FK_Document_Log_Employee FOREIGN KEY "
         "(Employee_Id) REFERENCES Employees (Id) ON DELETE SET NULL;");
    Line("");
    const char* const checks[][3] = {
        {"Contracts", "CHK_Contracts_Amount", "Amount >= 0"},
        {"Payments", "CHK_Payments_Amount", "Amount > 0 and Amount <= 100000000"},
        {"Tariffs", "CHK_Tariffs_Price", "Price >= 0"},
        {"Customers", "CHK_Customers_Active", "Is_Active in (0, 1)"},
        {"Contracts", "CHK_Contracts_Dates", "Closed_On is null or Closed_On >= Signed_On"},
        {"Customers", "CHK_Customers_Discount", "Discount_Percent between 0 and 100"},
        {"Customers", "CHK_Customers_Region", "Region_Code similar to '[0-9]{2}'"},
        {"Contracts", "CHK_Contracts_Region", "Region_Code similar to '[0-9]{2}'"},
        {"Contracts", "CHK_Contracts_Plan", "Plan_Months > 0"},
        {"Contracts", "CHK_Contracts_Penalty", "Penalty_Percent >= 0"},
        {"Contracts", "CHK_Contracts_Prolonged", "Prolonged in (0, 1)"},
        {"Payments", "CHK_Payments_Confirmed", "Is_Confirmed in (0, 1)"},
        {"Payments", "CHK_Payments_Vat", "Vat_Amount >= 0"},
        {"Accounts", "CHK_Accounts_Limit", "Credit_Limit >= 0"},
        {"Accounts", "CHK_Accounts_Currency", "Currency in ('RUB', 'USD', 'EUR')"},
        {"Accounts", "CHK_Accounts_Dates", "Closed_On is null or Closed_On >= Opened_On"},
        {"Price_History", "CHK_Price_History_Currency", "Currency in ('RUB', 'USD', 'EUR')"},
        {"Price_History", "CHK_Price_History_Price", "Price >= 0"},
        {"Tariffs", "CHK_Tariffs_Vat", "Vat_Rate between 0 and 100"},
        {"Employees", "CHK_Employees_Fired", "Is_Fired in (0, 1)"},
        {"Cities", "CHK_Cities_Population", "Population >= 0"},
        {"Payment_Kinds", "CHK_Payment_Kinds_Cash", "Is_Cash in (0, 1)"},
        {"Contract_States", "CHK_Contract_States_Final", "Is_Final in (0, 1)"},
        {"Document_Log", "CHK_Document_Log_Signed", "Signed in (0, 1)"},
        {"Document_Log", "CHK_Document_Log_Kind", "Doc_Kind between 1 and 5"},
        {"Document_Log", "CHK_Document_Log_Num", "Doc_Num <> ''"},
    };
    for (const auto& check : checks) {
        Line(std::string("ALTER TABLE ") + check[0] + " ADD CONSTRAINT " + check[1] + " CHECK (" +
             check[2] + ");");
    }
    Line("");
}

// Each changed procedure is emptied first, then written in full; three rounds, as the changes
// of three requests reach the same procedures.
void ChangedProcedures(int steps, int bigSteps) {
    const Names all = AllProcedures();
    Line("SET TERM ^ ;");
    Line("");
    int seed = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        FullProcedure(all[i], i == 0 ? bigSteps : steps, seed);
        seed += 7;
    }
    Line("SET TERM ; ^");
    Line("");
    for (int round = 0; round < 3; ++round) {
        Line("/* ---- Заявка " + Num(410 + round) + ": изменения процедур ---- */");
        Names changed;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if ((i + static_cast<std::size_t>(round)) % 16 != 15) {
                changed.push_back(all[i]);
            }
        }
        // In groups of eight: first emptied, so that nothing depends on an old body, then
        // written in full.
        for (std::size_t first = 0; first < changed.size(); first += 8) {
            const std::size_t last = std::min(changed.size(), first + 8);
            Line("SET TERM ^ ;");
            Line("");
            for (std::size_t i = first; i < last; ++i) {
                EmptyProcedure("ALTER", changed[i]);
            }
            for (std::size_t i = first; i < last; ++i) {
                FullProcedure(changed[i], steps + static_cast<int>(i % 5) - 2, seed);
                seed += 5;
            }
            Line("SET TERM ; ^");
            Line("");
        }
        Line("/* ---- конец заявки " + Num(410 + round) + " ---- */");
        Line("");
    }
    Line("/* Восстановление тел процедур */");
    Line("SET TERM ^ ;");
    Line("");
    for (std::size_t i = 0; i < all.size(); ++i) {
        FullProcedure(all[i], steps, seed);
        seed += 3;
    }
    Line("SET TERM ; ^");
    Line("");
}

// Further procedure bodies after the triggers, as later requests changed them once more.
void FurtherProcedures(int count, int steps) {
    const Names all = AllProcedures();
    Line("SET TERM ^ ;");
    Line("");
    for (int i = 0; i < count; ++i) {
        FullProcedure(all[static_cast<std::size_t>(i + 1) % all.size()], steps, 1000 + i * 11);
    }
    Line("SET TERM ; ^");
    Line("");
}

void Triggers() {
    Line("/* Drop Trigger and Create Trigger... */");
    for (const auto& trigger : kTriggers) {
        const bool fresh = trigger.Name == "Customers_BU" || trigger.Table == "Price_History" ||
                           trigger.Table == "Document_Log";
        if (!fresh) {
            Line("DROP TRIGGER " + trigger.Name + ";");
        }
        Line("SET TERM ^ ;");
        Line("CREATE TRIGGER " + trigger.Name + " FOR " + trigger.Table);
        Line("ACTIVE " + trigger.Event + " POSITION 0");
        TriggerBody(trigger, 1);
        Line("SET TERM ; ^");
        Line("");
    }
    Line("/* Alter Trigger... */");
    Line("SET TERM ^ ;");
    Line("");
    for (int version = 2; version <= 3; ++version) {
        for (const auto& trigger : kTriggers) {
            if (version == 2 && (&trigger - kTriggers.data()) % 2 == 0) {
                EmptiedTrigger(trigger);
                continue;
            }
            Line("ALTER TRIGGER " + trigger.Name);
            TriggerBody(trigger, version);
        }
    }
    for (std::size_t i = 0; i < 8; ++i) {
        Line("ALTER TRIGGER " + kTriggers[i].Name);
        TriggerBody(kTriggers[i], 4);
    }
    Line("SET TERM ; ^");
    Line("");
    Line("/* Drop Generator... */");
    Line("DROP GENERATOR Gen_Import_Log_Id;");
    Line("DROP GENERATOR Gen_Old_Discounts_Id;");
    Line("");
}

void ColumnOrder() {
    Line("/* Порядок полей */");
    int written = 0;
    while (written < 168) {
        for (const auto& table : kColumnOrder) {
            for (std::size_t i = 0; i < table.Columns.size() && written < 168; ++i) {
                Line("ALTER TABLE " + table.Table + " ALTER COLUMN " + table.Columns[i] +
                     " POSITION " + Num(static_cast<long>(i) + 1) + ";");
                ++written;
            }
        }
    }
    Line("");
}

void Privileges() {
    const char* const revokes[][3] = {
        {"INSERT", "Customers", "Kormant_Operator"},   {"UPDATE", "Contracts", "Kormant_Operator"},
        {"SELECT", "Employees", "KORMANT_CLERK"},      {"SELECT", "Payments", "\"1C\""},
        {"SELECT", "Accounts", "Kormant_Reader"},      {"DELETE", "Payments", "Kormant_Accountant"},
        {"SELECT", "Contract_States", "PUBLIC"},       {"UPDATE", "Accounts", "Kormant_Accountant"},
        {"SELECT", "Customers", "Kormant_Accountant"},
    };
    for (const auto& revoke : revokes) {
        Line(std::string("/* Revoke: ") + revoke[0] + " on " + revoke[1] + " to " + revoke[2] +
             " */");
        Line(std::string("REVOKE ") + revoke[0] + " ON " + revoke[1] + " FROM " + revoke[2] + ";");
    }
    Line("");
    Line("/* Create(Add) Crant */");
    int written = 0;
    Line("GRANT UPDATE (State_Id) ON Contracts TO Kormant_Operator;");
    Line("GRANT UPDATE (Phone, Address) ON Customers TO KORMANT_CLERK;");
    written += 2;
    Names procedures = AllProcedures();
    procedures.push_back("Check_Versio");
    for (const auto& procedure : procedures) {
        for (const auto& grantee : kGrantees) {
            Line("GRANT EXECUTE ON PROCEDURE " + procedure + " TO " + grantee + ";");
            ++written;
        }
    }
    const char* const privileges[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES"};
    for (const auto& table : kTables) {
        for (const char* privilege : privileges) {
            for (const auto& grantee : kGrantees) {
                if (written == 640) {
                    break;
                }
                Line(std::string("GRANT ") + privilege + " ON " + table + " TO " + grantee + ";");
                ++written;
            }
        }
    }
    for (std::size_t i = 0; written < 669; ++i) {
        Line("GRANT SELECT ON " + kTables[i % kTables.size()] + " TO PROCEDURE " +
             procedures[i % procedures.size()] + ";");
        ++written;
    }
    Line("");
    Line("Commit;");
    Line("");
    Line("/* Исходные тексты процедур и пользовательских триггеров в базе не хранятся */");
    Line("update RDB$PROCEDURES set RDB$PROCEDURE_SOURCE = null");
    Line("where coalesce(RDB$SYSTEM_FLAG, 0) = 0;");
    Line("update RDB$TRIGGERS set RDB$TRIGGER_SOURCE = null");
    Line("where coalesce(RDB$SYSTEM_FLAG, 0) = 0");
    Line("  and not exists (select 1 from RDB$CHECK_CONSTRAINTS cc where cc.RDB$TRIGGER_NAME = "
         "RDB$TRIGGERS.RDB$TRIGGER_NAME);");
    Line("Commit;");
    Line("");
}

void ReferenceData() {
    Line("SET NAMES WIN1251;");
    Line("SET SQL DIALECT 3;");
    Line("SET AUTODDL ON;");
    Line("");
    for (const auto& trigger : kTriggers) {
        Line("ALTER TRIGGER " + trigger.Name + " INACTIVE;");
    }
    Line("");
    // Regions: 85 rows, 40 of them corrected afterwards.
    Line("/* Регионы */");
    for (int code = 1; code <= 85; ++code) {
        Line("insert into Region_Codes (Code, Name, Okato) values ('" + Two(code) + "', 'Округ " +
             Two(code) + " «" + kRegionWords[code % 10] + "»', '" + Num(code * 1000) + "');");
    }
    for (int code = 1; code <= 40; ++code) {
        Line("update Region_Codes set Note = 'Проверено; код " + Two(code) + "' where Code = '" +
             Two(code) + "';");
    }
    Line("SET GENERATOR Gen_Region_Order TO 85;");
    Line("");
    Line("/* Города */");
    for (int id = 11; id <= 20; ++id) {
        Line("insert into Cities (Id, Name /* город */, Region, Phone_Code) values (" + Num(id) +
             ", 'Город " + Num(id) + "', 'Область " + Num(id) + "', '" + Num(300 + id) + "');");
    }
    for (int id = 1; id <= 10; ++id) {
        Line("update Cities set Population = " + Num(100000 * id) + " where Id = " + Num(id) + ";");
    }
    Line("SET GENERATOR Gen_Cities_Id TO 20;");
    Line("");
    // Price history: 300 rows over the four tariffs of release 3, 199 of them removed again.
    Line("/* История цен */");
    for (int id = 1; id <= 300; ++id) {
        Line("insert into Price_History (Id, Tariff_Id, Valid_From, Price, Note) values (" +
             Num(id) + ", " + Num(1 + id % 4) + ", dateadd(" + Num(id) +
             " day to date '2000-01-01'), " + Num(900 + id * 10) + ".00, " +
             (id % 50 == 0 ? std::string("'Цена ''по акции''; до конца месяца'")
                           : "'Цена " + Num(id) + "'") +
             ");");
    }
    Line("SET GENERATOR Gen_Price_History_Id TO 300;");
    for (int id = 1; id <= 199; ++id) {
        Line("delete from Price_History where Id = " + Num(id) + ";");
    }
    Line("SET GENERATOR Gen_Price_History_Id TO 301;");
    Line("");
    Line("/* Журнал документов */");
    for (int id = 1; id <= 460; ++id) {
        Line("insert into Document_Log (Id, Doc_Kind, Doc_Num, Customer_Id, Note) values (" +
             Num(id) + ", " + Num(1 + id % 5) + ", 'Д-" + Num(id) + "', " + Num(1 + id % 5) + ", " +
             DocumentNote(id) + ");");
        if (id % 100 == 0) {
            Line("SET GENERATOR Gen_Document_Log_Id TO " + Num(id) + ";");
        }
    }
    Line("SET GENERATOR Gen_Document_Log_Id TO 460;");
    Line("-- delete from Document_Log;");
    for (int id = 1; id <= 430; ++id) {
        Line("delete from Document_Log where Id = " + Num(id) + ";");
    }
    Line("-- SET GENERATOR Gen_Document_Log_Id TO 0;");
    Line("SET GENERATOR Gen_Doc_Num TO 1000;");
    Line("SET GENERATOR Gen_Tariffs_Id TO 4;");
    Line("SET GENERATOR Gen_Employees_Id TO 3;");
    Line("SET GENERATOR Gen_Customers_Id TO 5;");
    Line("SET GENERATOR Gen_Contracts_Id TO 5;");
    Line("");
    Line("update Payment_Kinds set Is_Cash = 1 where Id = 1;");
    Line("update Contract_States set Is_Final = 1 where Id = 3;");
    Line("update Tariffs set Unit_Name = 'мес.', Vat_Rate = 18;");
    Line("update Customers set Kpp = '770501001' where Id = 1;");
    Line("update Customers set Kpp = '631501001' where Id = 5;");
    Line("update Customers set Region_Code = '66' where City_Id = 3;");
    Line("update Customers set Region_Code = '78' where City_Id = 2;");
    Line("update Contracts set Region_Code = '63' where Customer_Id = 5;   ");
    Line("update Employees set Email = lower(Login) || '@kormant.ru';");
    Line("Commit;");
    Line("");
    for (const auto& trigger : kTriggers) {
        Line("ALTER TRIGGER " + trigger.Name + " ACTIVE;");
    }
    Line("commit work;");
    Line("");
}

void FollowUp() {
    Line("/* ---- Заявка 415: исправления ---- */");
    Line("ALTER INDEX IX_Payments_Doc_Num ACTIVE;");
    Line("update Payments set Is_Confirmed = 1 where Paid_On < '2006-01-01';");
    Line("commit;");
    Line("ALTER TRIGGER Payments_AI INACTIVE;");
    Line("update Payments set Vat_Amount = Amount * 18 / 118;");
    Line("ALTER TRIGGER Payments_AI ACTIVE;");
    Line("ALTER TRIGGER Customers_BU INACTIVE;");
    Line("update Customers set Bank_Name = 'ПАО «Сбербанк»' where Kind_Id = 2;");
    Line("ALTER TRIGGER Customers_BU ACTIVE;");
    Line("commit;");
    Line("update Employees set Login = upper(Login);");
    Line("commit;");
    Line("ALTER TABLE Employees ADD CONSTRAINT UQ_Employees_Login UNIQUE (Login);");
    Line("Commit;");
    Line("/* ---- конец заявки 415 ---- */");
    Line("");
}

void Statistics() {
    Line("/* Статистика индексов */");
    for (int i = 0; i < 293; ++i) {
        Line("SET STATISTICS INDEX " + kIndices[static_cast<std::size_t>(i) % kIndices.size()] +
             ";");
    }
    Line("");
}

void Stamp() {
    Line("/* Версия базы данных */");
    Line("update Attrs set Versio = 4;");
    Line("commit;");
    Line("");
    Line("/* ==== Конец обновления до версии 4 ==== */");
    for (int i = 0; i < 53; ++i) {
        Line("");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: generate-full-size OUT\n";
        return 2;
    }
    // Body sizes that bring the script to the size of a real release; the first procedure is
    // the one long statement of such a script.
    const int steps = 15;
    const int bigSteps = 370;

    Header();
    Preparation();
    ConstraintRemovals();
    DependantsAndDrops();
    ExternalFunction();
    Tables();
    NewProcedures();
    GeneratorsAndConstraints();
    ChangedProcedures(steps, bigSteps);
    Triggers();
    FurtherProcedures(60, steps);
    ColumnOrder();
    Privileges();
    ReferenceData();
    FollowUp();
    Statistics();
    Stamp();

    const std::string bytes = ToCp1251(Out);
    const std::string path = argv[1];
    const std::string partial = path + ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!file) {
            std::cerr << "cannot write " << partial << "\n";
            return 1;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::cerr << "cannot rename " << partial << " to " << path << "\n";
        return 1;
    }
    return 0;
}
