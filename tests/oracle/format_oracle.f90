! Differential oracle for formatted (edit-descriptor) writing and reading: answers each case of a
! batch with what gfortran's own runtime does, so that the C++ engine can be compared byte for byte.
!
! Input (a file named on the command line, else standard input), each case on two or three lines:
!   W<format>           a write case with this runtime format; the next line holds its items
!   R<format>           a read case; the next line is ">" + the input line, the one after its items
! Items follow one another on their line, each a letter and its value (values are carried exactly:
! reals as hexadecimal bit patterns, most significant digit first):
!   i<decimal><blank>  int32     j<decimal><blank>  int64     lT or lF  logical
!   r<8 hex>  real(4)   d<16 hex>  real(8)   q<32 hex>  real(16)
!   c<5 digits>:<text>  character of that length
! The items of a read case are the same letters without values ("c<5 digits>" gives the length);
! every target starts from the fixed value set_default gives it, so that targets an error leaves alone
! can be compared too.
!
! Output, per case: "=<iostat>", then for a write the record(s) exactly as a sequential formatted
! write puts them on a file, for a read one line per item (decimal, hexadecimal bits, T/F or the text
! between brackets); then a line holding only the character 31, which no record contains. A write
! that fails ends its partial record and adds a line of the character 30 and "=<iostat>".
program format_oracle
    implicit none
    integer, parameter :: maxitems = 2000, linelen = 4096, itemlen = 65536, charlen = 1000
    integer, parameter :: t_i4 = 1, t_i8 = 2, t_r4 = 3, t_r8 = 4, t_r16 = 5, t_l = 6, t_c = 7
    character(len=linelen) :: buf
    ! Room past the longest accepted items line, so that a malformed last item cannot run off the end.
    character(len=itemlen + 2048) :: items
    character(len=linelen) :: fmtbuf
    ! The line of a read case, in a buffer of the length the program itself reads its lines into.
    character(len=1000) :: inline
    integer :: flen, ios, rios, n, k, j, u, nargs, nitems
    logical :: is_read, bad
    integer :: t(maxitems), clen(maxitems)
    integer(4) :: i4v(maxitems)
    integer(8) :: i8v(maxitems)
    real(4) :: r4v(maxitems)
    real(8) :: r8v(maxitems)
    real(16) :: r16v(maxitems)
    logical :: lv(maxitems)
    character(len=charlen) :: cv(maxitems)
    integer(4) :: b4
    integer(8) :: b8
    integer(16) :: b16
    character(len=256) :: arg
    character(len=1), parameter :: eor = achar(31)

    nargs = command_argument_count()
    u = 5
    if (nargs >= 1) then
        call get_command_argument(1, arg)
        open (newunit=u, file=trim(arg), status='old', action='read', iostat=ios)
        if (ios /= 0) then
            write (0, '(a)') 'format_oracle: cannot open '//trim(arg)
            stop 2
        end if
    end if

    do
        read (u, '(a)', iostat=rios) buf
        if (rios /= 0) exit
        if (buf(1:1) /= 'W' .and. buf(1:1) /= 'R') cycle
        is_read = buf(1:1) == 'R'
        fmtbuf = buf(2:)
        flen = max(1, len_trim(fmtbuf))
        inline = ' '
        if (is_read) then
            read (u, '(a)', iostat=rios) buf
            if (rios /= 0) exit
            inline = buf(2:)
        end if
        ! the length of the items line without a scan for its last non-blank: a text item may end
        ! in blanks
        read (u, '(a)', advance='no', size=nitems, iostat=rios) items
        if (rios > 0 .or. is_iostat_end(rios)) exit
        if (rios == 0) then
            ! longer than the buffer: skip the rest of the line, and the case is refused below
            read (u, '(a)', iostat=rios)
            nitems = itemlen
        end if
        call parse_items(is_read, bad)

        if (bad) then
            write (*, '(a)') '=999'
            write (*, '(a)') eor
            cycle
        end if
        ! Each item k appears once in the list: the implied-do loops of the other types run zero times
        ! and contribute no list item, so the list is exactly the case's sequence of typed items.
        if (is_read) then
            read (inline, fmtbuf(1:flen), iostat=ios) &
                ((i4v(k), j=1, merge(1, 0, t(k) == t_i4)), (i8v(k), j=1, merge(1, 0, t(k) == t_i8)), &
                 (r4v(k), j=1, merge(1, 0, t(k) == t_r4)), (r8v(k), j=1, merge(1, 0, t(k) == t_r8)), &
                 (r16v(k), j=1, merge(1, 0, t(k) == t_r16)), (lv(k), j=1, merge(1, 0, t(k) == t_l)), &
                 (cv(k) (1:clen(k)), j=1, merge(1, 0, t(k) == t_c)), k=1, n)
            write (*, '("=",i0)') ios
            do k = 1, n
                select case (t(k))
                case (t_i4)
                    write (*, '(i0)') i4v(k)
                case (t_i8)
                    write (*, '(i0)') i8v(k)
                case (t_r4)
                    write (*, '(z8.8)') transfer(r4v(k), b4)
                case (t_r8)
                    write (*, '(z16.16)') transfer(r8v(k), b8)
                case (t_r16)
                    write (*, '(z32.32)') transfer(r16v(k), b16)
                case (t_l)
                    write (*, '(l1)') lv(k)
                case (t_c)
                    write (*, '("[",a,"]")') cv(k) (1:clen(k))
                end select
            end do
        else
            write (*, '(a)') '=0'
            write (*, fmtbuf(1:flen), iostat=ios) &
                ((i4v(k), j=1, merge(1, 0, t(k) == t_i4)), (i8v(k), j=1, merge(1, 0, t(k) == t_i8)), &
                 (r4v(k), j=1, merge(1, 0, t(k) == t_r4)), (r8v(k), j=1, merge(1, 0, t(k) == t_r8)), &
                 (r16v(k), j=1, merge(1, 0, t(k) == t_r16)), (lv(k), j=1, merge(1, 0, t(k) == t_l)), &
                 (cv(k) (1:clen(k)), j=1, merge(1, 0, t(k) == t_c)), k=1, n)
            if (ios /= 0) then
                ! A failed write may leave a partial record: end it, then report the status.
                write (*, '(a)') ''
                write (*, '(a,"=",i0)') achar(30), ios
            end if
        end if
        write (*, '(a)') eor
    end do
    flush (6)

contains

    ! Reads the items line of a case into the typed arrays; `bad` on anything malformed.
    subroutine parse_items(is_read, bad)
        logical, intent(in) :: is_read
        logical, intent(out) :: bad
        integer :: p, last
        integer(8) :: hi, lo
        character :: c
        n = 0
        bad = .false.
        last = nitems
        if (last >= itemlen) bad = .true.
        p = 1
        do while (p <= last .and. .not. bad)
            c = items(p:p)
            p = p + 1
            if (n >= maxitems) then
                bad = .true.
                exit
            end if
            n = n + 1
            call set_default(n)
            select case (c)
            case ('i')
                t(n) = t_i4
                if (.not. is_read) i4v(n) = int(decimal(p), 4)
            case ('j')
                t(n) = t_i8
                if (.not. is_read) i8v(n) = decimal(p)
            case ('r')
                t(n) = t_r4
                if (.not. is_read) r4v(n) = transfer(hexbits(p, 8), r4v(n))
            case ('d')
                t(n) = t_r8
                if (.not. is_read) r8v(n) = transfer(hexbits(p, 16), r8v(n))
            case ('q')
                t(n) = t_r16
                if (.not. is_read) then
                    hi = hexbits(p, 16)
                    lo = hexbits(p, 16)
                    ! little-endian memory: the low half first
                    r16v(n) = transfer([lo, hi], r16v(n))
                end if
            case ('l')
                t(n) = t_l
                if (.not. is_read) then
                    lv(n) = items(p:p) == 'T'
                    p = p + 1
                end if
            case ('c')
                t(n) = t_c
                clen(n) = int(decimal_digits(p, 5))
                if (clen(n) < 0 .or. clen(n) > charlen) then
                    clen(n) = 0
                    bad = .true.
                end if
                if (.not. is_read) then
                    ! ":" then exactly clen characters
                    cv(n) (1:clen(n)) = items(p + 1:p + clen(n))
                    p = p + 1 + clen(n)
                end if
            case default
                bad = .true.
            end select
        end do
    end subroutine parse_items

    ! A signed decimal integer at items(p:), ended by a blank; p moves past the blank.
    integer(8) function decimal(p)
        integer, intent(inout) :: p
        logical :: neg
        neg = items(p:p) == '-'
        if (neg) p = p + 1
        decimal = 0
        do while (items(p:p) /= ' ')
            ! accumulated negatively so that the most negative value fits
            decimal = decimal*10 - (iachar(items(p:p)) - iachar('0'))
            p = p + 1
        end do
        p = p + 1
        if (.not. neg) decimal = -decimal
    end function decimal

    integer(8) function decimal_digits(p, nd)
        integer, intent(inout) :: p
        integer, intent(in) :: nd
        integer :: k
        decimal_digits = 0
        do k = 1, nd
            decimal_digits = decimal_digits*10 + (iachar(items(p:p)) - iachar('0'))
            p = p + 1
        end do
    end function decimal_digits

    ! nd hexadecimal digits at items(p:) as the low bits of a 64-bit integer; p moves past them.
    integer(8) function hexbits(p, nd)
        integer, intent(inout) :: p
        integer, intent(in) :: nd
        integer :: k, v
        hexbits = 0
        do k = 1, nd
            v = iachar(items(p:p)) - iachar('0')
            if (v > 9) v = v - (iachar('A') - iachar('9') - 1)
            hexbits = ior(ishft(hexbits, 4), int(v, 8))
            p = p + 1
        end do
    end function hexbits

    ! The starting value of every target of a read; the C++ side uses the same values.
    subroutine set_default(k)
        integer, intent(in) :: k
        i4v(k) = -777
        i8v(k) = -888
        r4v(k) = transfer(int(z'C4BFE000', 4), r4v(k)) ! -1535.0
        r8v(k) = -999.25d0
        r16v(k) = -555.125_16
        lv(k) = .true.
        cv(k) = repeat('?', charlen)
        clen(k) = 0
    end subroutine set_default

end program format_oracle
