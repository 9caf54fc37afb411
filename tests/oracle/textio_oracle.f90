! The gfortran side of the text I/O differential tests: answers every case of a batch (standard input)
! with what gfortran's runtime does (standard output). A case: a line "<mode> <items> <lines>", a format
! (modes W, R), one line per item, the text lines. An item line is a type letter, a blank and the value
! (none in reads): i int32, j int64 (decimal), r real(4), d real(8), q real(16) (hexadecimal bits),
! l logical (T/F), c character: "c<5-digit length> <text>". W writes the items with the format (the
! answer is the records); R reads them with it from the text line in a character(1000) buffer; L reads
! them list-directed from a file of the text lines, twice (the second after a successful first); N reads
! namelist /cfg/, then (after success) /aux/ from such a file. A read answers "=" and the sign of IOSTAT
! (namelists: 0, or 1 for any failure), then every item (decimal, hexadecimal bits, T/F, [text]); targets
! start from fixed values, so that those a read leaves alone show too. Each answer ends with char(31).
program textio_oracle
    implicit none
    integer, parameter :: maxn = 4000
    character(len=20000) :: buf, fmt; character(len=1000) :: line; character :: mode, t(maxn)
    integer :: n, nl, k, j, m, ios, sc, ln, cl(maxn)
    integer(4) :: ai4(maxn), ivec(3), n_aux
    integer(8) :: ai8(maxn); real(4) :: ar4(maxn); real(8) :: ar8(maxn), weight(2, 15); real(16) :: ar16(maxn), q
    logical :: al(maxn), flag, process(2, 15)
    character(len=200) :: ac(maxn); character(len=132) :: title; character(len=4) :: code
    namelist /cfg/ flag, process, weight, ivec, q, title, code
    namelist /aux/ n_aux

    open (newunit=sc, status='scratch', action='readwrite')
    do
        read (*, *, iostat=ios) mode, n, nl
        if (ios /= 0) exit
        if (mode == 'W' .or. mode == 'R') read (*, '(a)') fmt
        do k = 1, n
            read (*, '(a)') buf
            t(k) = buf(1:1); cl(k) = 0
            if (t(k) == 'c') read (buf(2:6), '(i5)') cl(k)
            call reset(k)
            select case (t(k) // mode)
            case ('iW', 'jW'); read (buf(3:), *) ai8(k); ai4(k) = int(ai8(k), 4)
            case ('rW'); read (buf(3:), '(z8)') ar4(k)
            case ('dW'); read (buf(3:), '(z16)') ar8(k)
            case ('qW'); read (buf(3:), '(z32)') ar16(k)
            case ('lW'); al(k) = buf(3:3) == 'T'
            case ('cW'); ac(k) = buf(8:7 + cl(k))
            end select
        end do
        rewind (sc)
        do k = 1, nl
            read (*, '(a)', advance='no', size=ln, iostat=ios) buf
            write (sc, '(a)') buf(1:ln)
            line = buf(1:ln)
        end do
        endfile (sc); rewind (sc)
        ! Each item k is one list item: the implied-do loops of the other types run zero times.
        select case (mode)
        case ('W')
            write (*, fmt(1:len_trim(fmt)), iostat=ios) ((ai4(k), j=1, merge(1, 0, t(k) == 'i')), &
                (ai8(k), j=1, merge(1, 0, t(k) == 'j')), (ar4(k), j=1, merge(1, 0, t(k) == 'r')), &
                (ar8(k), j=1, merge(1, 0, t(k) == 'd')), (ar16(k), j=1, merge(1, 0, t(k) == 'q')), &
                (al(k), j=1, merge(1, 0, t(k) == 'l')), (ac(k) (1:cl(k)), j=1, merge(1, 0, t(k) == 'c')), k=1, n)
            if (ios /= 0) write (*, '(/,"!",i0)') ios
        case ('R')
            read (line, fmt(1:len_trim(fmt)), iostat=ios) ((ai4(k), j=1, merge(1, 0, t(k) == 'i')), &
                (ai8(k), j=1, merge(1, 0, t(k) == 'j')), (ar4(k), j=1, merge(1, 0, t(k) == 'r')), &
                (ar8(k), j=1, merge(1, 0, t(k) == 'd')), (ar16(k), j=1, merge(1, 0, t(k) == 'q')), &
                (al(k), j=1, merge(1, 0, t(k) == 'l')), (ac(k) (1:cl(k)), j=1, merge(1, 0, t(k) == 'c')), k=1, n)
            call put_items()
        case ('L')
            do j = 1, 2
                read (sc, *, iostat=ios) ((ai4(k), m=1, merge(1, 0, t(k) == 'i')), &
                    (ai8(k), m=1, merge(1, 0, t(k) == 'j')), (ar4(k), m=1, merge(1, 0, t(k) == 'r')), &
                    (ar8(k), m=1, merge(1, 0, t(k) == 'd')), (ar16(k), m=1, merge(1, 0, t(k) == 'q')), &
                    (al(k), m=1, merge(1, 0, t(k) == 'l')), (ac(k) (1:cl(k)), m=1, merge(1, 0, t(k) == 'c')), k=1, n)
                call put_items()
                if (ios /= 0) exit
            end do
        case ('N')
            flag = .false.; ivec = [-71, -72, -73]; q = -7777.5_16; title = 'ZZZZ'; code = 'YYYY'; n_aux = -7777
            process = reshape([((mod(m + j, 3) == 0, m=1, 2), j=1, 15)], [2, 15])
            weight = reshape([((-1000.25d0*(m + 2*j), m=1, 2), j=1, 15)], [2, 15])
            read (sc, nml=cfg, iostat=ios)
            write (*, '("=",i0,/,(l1))') merge(0, 1, ios == 0), flag, process
            write (*, '(30(z16.16,/),3(i0,/),z32.32,2(/,"[",a,"]"))') weight, ivec, q, title, code
            if (ios == 0) then
                read (sc, nml=aux, iostat=ios)
                write (*, '("=",i0,/,i0)') merge(0, 1, ios == 0), n_aux
            end if
        end select
        write (*, '(a)') achar(31)
    end do

contains

    subroutine reset(k)
        integer :: k
        ai4(k) = -777; ai8(k) = -888; ar4(k) = -1535.0; ar8(k) = -999.25d0; ar16(k) = -555.125_16
        al(k) = .true.; ac(k) = repeat('?', len(ac))
    end subroutine reset

    subroutine put_items()
        write (*, '("=",i0)') sign(min(abs(ios), 1), ios)
        do k = 1, n
            select case (t(k))
            case ('i'); write (*, '(i0)') ai4(k)
            case ('j'); write (*, '(i0)') ai8(k)
            case ('r'); write (*, '(z8.8)') ar4(k)
            case ('d'); write (*, '(z16.16)') ar8(k)
            case ('q'); write (*, '(z32.32)') ar16(k)
            case ('l'); write (*, '(l1)') al(k)
            case ('c'); write (*, '("[",a,"]")') ac(k) (1:cl(k))
            end select
            call reset(k)
        end do
    end subroutine put_items

end program textio_oracle
