-- The demo database of scripts/demo-db.sh: a few small tables that show the
-- value types, NULLs, Cyrillic and CJK names, a long text, an RTF memo, and
-- one table of 200,000 rows. Built in one transaction into a fresh file.
pragma journal_mode = off;
pragma synchronous = off;
begin;

create table about(table_name text, shows text);
insert into about values
  ('about', 'Этот список: что показывает каждая таблица.'),
  ('types', 'Типы значений: целые, десятичные (numeric, драйвер SQLite отдаёт их как вещественные), вещественные, дата, время, дата и время, логические, текст, двоичные; строка из одних NULL.'),
  ('сотрудники', 'Имена таблицы, столбцов и значения по-русски; NULL в столбцах «руководитель» и «телефон».'),
  ('商品', 'Имена и значения на китайском, японском и корейском.'),
  ('documents', 'Длинный текст (300 000 символов), заметка в формате RTF, короткий текст и NULL.'),
  ('big', '200 000 строк: select * from big.');

create table types(
  id integer primary key,
  small_value smallint,
  big_value bigint,
  amount numeric(12,2),
  ratio double,
  day date,
  clock time,
  moment datetime,
  flag boolean,
  code varchar(10),
  note text,
  bytes blob);
insert into types values
  (1, 1, 1, 1.00, 1.0, '2026-12-09', '09:30:00', '2026-12-09 09:30:00', 1, 'ONE', 'Обычная строка', x'48656C6C6F'),
  (2, -32768, -9223372036854775808, -12345678.90, -2.5e-10, '1900-01-01', '00:00:00', '2000-01-01 00:00:00', 0, 'MIN', 'Полночь: время не показывается', x'00'),
  (3, 32767, 9223372036854775807, 9999999999.99, 6.02214076e23, '9999-12-31', '23:59:59', '2026-12-31 23:59:59.250', 1, 'MAX', '中文 и кириллица', x'00FF7F80'),
  (4, 0, 0, 0.01, 3.141592653589793, '2024-02-29', '12:00:00', '2024-02-29 12:00:00', 0, '', '', x''),
  (5, null, null, null, null, null, null, null, null, null, null, null);

create table сотрудники(
  номер integer primary key,
  фамилия varchar(40),
  имя varchar(40),
  отдел varchar(40),
  оклад numeric(10,2),
  дата_приёма date,
  руководитель integer,
  телефон varchar(20));
insert into сотрудники values
  (1, 'Иванова', 'Анна', 'Дирекция', 250000.00, '2015-03-01', null, '+7 495 000-00-01'),
  (2, 'Петров', 'Борис', 'Разработка', 180000.00, '2017-09-15', 1, null),
  (3, 'Сидорова', 'Вера', 'Разработка', 165500.50, '2019-01-10', 2, '+7 495 000-00-03'),
  (4, 'Кузнецов', 'Григорий', 'Бухгалтерия', 120000.00, '2020-06-01', 1, null),
  (5, 'Смирнова', 'Дарья', 'Поддержка', 95000.00, '2023-11-20', 1, '+7 495 000-00-05'),
  (6, 'Ёлкин', 'Евгений', 'Поддержка', 92000.00, '2024-04-01', 5, null);

create table 商品(
  编号 integer primary key,
  名称 text,
  分类 text,
  价格 numeric(10,2),
  库存 integer,
  备注 text);
insert into 商品 values
  (1, '绿茶', '饮料', 12.50, 300, '杭州龙井'),
  (2, 'ラーメン', '食品', 8.00, 120, '日本語の名前'),
  (3, '김치', '食品', 6.75, 0, '한국어 이름'),
  (4, '筷子', '餐具', 3.20, 1000, null),
  (5, '月饼', '食品', 25.00, 48, '中秋节');

create table documents(id integer primary key, title text, kind varchar(10), body text);
insert into documents values
  (1, 'Заметка в формате RTF', 'rtf',
   '{\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\fmodern Courier New;}}'
   || '{\colortbl;\red192\green0\blue0;\red0\green0\blue160;}' || char(13, 10)
   || '\f0\fs28{\b \u1044?\u1077?\u1084?\u1086?\u1085?\u1089?\u1090?\u1088?\u1072?\u1094?\u1080?\u1086?\u1085?\u1085?\u1072?\u1103? \u1079?\u1072?\u1084?\u1077?\u1090?\u1082?\u1072?}\par' || char(13, 10)
   || '\fs22 \u1069?\u1090?\u1086?\u1090? \u1090?\u1077?\u1082?\u1089?\u1090? \u1093?\u1088?\u1072?\u1085?\u1080?\u1090?\u1089?\u1103? \u1074? \u1090?\u1077?\u1082?\u1089?\u1090?\u1086?\u1074?\u1086?\u1084? \u1089?\u1090?\u1086?\u1083?\u1073?\u1094?\u1077? \u1074? \u1092?\u1086?\u1088?\u1084?\u1072?\u1090?\u1077? RTF.\par' || char(13, 10)
   || '{\b \u1087?\u1086?\u1083?\u1091?\u1078?\u1080?\u1088?\u1085?\u1099?\u1081?}, {\i \u1082?\u1091?\u1088?\u1089?\u1080?\u1074?}, {\cf1 \u1082?\u1088?\u1072?\u1089?\u1085?\u1099?\u1081?}, {\ul \u1087?\u1086?\u1076?\u1095?\u1105?\u1088?\u1082?\u1085?\u1091?\u1090?\u1099?\u1081?}, {\f1\cf2 Courier New}\par' || char(13, 10)
   || '\qc \u1055?\u1086? \u1094?\u1077?\u1085?\u1090?\u1088?\u1091?: \u20013?\u25991? \u1080? \u1082?\u1080?\u1088?\u1080?\u1083?\u1083?\u1080?\u1094?\u1072?.\par' || char(13, 10)
   || '}'),
  (3, 'Короткий текст', 'text', 'Первая строка' || char(13, 10) || 'Вторая строка'),
  (4, 'Пустое значение', 'null', null);

-- Numbered lines of 52 characters, cut to exactly 300,000 characters.
insert into documents
with recursive line(n) as (select 1 union all select n + 1 from line where n < 6000)
select 2, 'Длинный текст, 300 000 символов', 'long',
       substr(group_concat(printf('%06d Длинный текст: строка для проверки прокрутки%s', n, char(10)), ''), 1, 300000)
  from line;

create table big(id integer primary key, name varchar(40), amount numeric(12,2), ratio double,
                 created datetime, flag boolean, category varchar(20));
insert into big
with recursive r(n) as (select 1 union all select n + 1 from r where n < 200000)
select n,
       'Строка ' || n,
       (n * 37 % 100000) / 100.0,
       n / 7.0,
       datetime(1577836800 + n * 60, 'unixepoch'),
       n % 2,
       case when n % 10 = 0 then null else '类别 ' || (n % 7) end
  from r;

commit;
