#!/bin/sh
# Writes the files that stand beside the program, in Windows-1251 with CR LF
# line ends, from the UTF-8 texts below. Run from anywhere; rewrites data/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

to1251() {  # stdin UTF-8 with LF -> $1 in Windows-1251 with CR LF
  sed 's/$/\r/' | iconv -f UTF-8 -t CP1251 > "$1"
}

to1251 "$here/caption.txt" <<'EOF'
Выход
Настройки
Помощь
Подключение
Соедините адаптер с COM-портом и насосом, затем нажмите «Начать коммуникацию».
Подключение адаптера
 Ошибки 
Начать коммуникацию
Проверить ошибки
Стереть ошибки     
Ошибок не обнаружено
Диагностика VR - VP насосов
Номер по Бош
Id номер
Оригинальный номер
Серийный номер
EOF

mkdir -p "$here/en"
to1251 "$here/en/caption.txt" <<'EOF'
E&xit
&Settings
&Help
&Connection
Connect the adapter to the COM port and the pump, then click "Start communication".
Connecting the adapter
 Faults 
Start &communication
&Read faults
&Erase faults     
No faults found
VR - VP pump diagnosis
Bosch number
Id number
Original number
Serial number
EOF

for code in 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E; do
  to1251 "$here/$code.txt" <<EOF
Код неисправности 0x$code

Блок управления насоса сохранил в памяти неисправностей код 0x$code вместе со счётчиком ошибок. Значение счётчика показано во всплывающей подсказке кнопки "$(echo $code | tr 'A-E' 'a-e')".

Описания этого кода от изготовителя насоса в программе нет, поэтому конкретная причина здесь не называется.

Общие рекомендации:
- осмотрите проводку и разъёмы между насосом, блоком управления и автомобилем: окисление, обрыв, плохой контакт;
- проверьте напряжение питания блока управления и массу (аккумулятор, предохранители);
- найдите код 0x$code в сервисной документации насоса;
- сотрите ошибки, запустите двигатель и снова прочитайте память неисправностей, чтобы узнать, появляется ли код вновь.
EOF
done
